#include "status_command.h"

#include <cstdio>

#include "archive.h"
#include "archive_command.h"
#include "cli_views.h"
#include "status_page.h"
#include "whole_file.h"

namespace tavrel::cli {

void addStatusOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("html"), QStringLiteral("Write the status as a page of its own (status)."),
         QStringLiteral("FILE")},
        {QStringLiteral("nights"),
         QStringLiteral("Nights in each meter's strip (status, default 30)."), QStringLiteral("N"),
         QStringLiteral("30")},
    });
}

int runStatusCommand(const QCommandLineParser& parser) {
    bool ok = false;
    const int nights = parser.value(QStringLiteral("nights")).toInt(&ok);
    if (!ok || nights < 1 || nights > 366)
        return usageError(QStringLiteral("--nights wants a number from 1 to 366"));
    archive::Archive archive;
    if (!openArchive(parser, archive, archive::Archive::Mode::ReadOnly)) return 2;
    const QDate today = QDate::currentDate();
    const QList<archive::MeterStatus> meters = archive.status(nights, today);
    if (!archive.errorText().isEmpty()) {
        std::fprintf(stderr, "tavrel-cli: %s\n", console(archive.errorText()).constData());
        return 2;
    }
    for (const QString& line : archive::statusTable(meters))
        std::printf("%s\n", console(line).constData());
    bool allGood = true;
    for (const archive::MeterStatus& m : meters)
        allGood = allGood && m.lastResult != QStringLiteral("failed");
    if (parser.isSet(QStringLiteral("html"))) {
        QString error;
        const QString file = parser.value(QStringLiteral("html"));
        if (!writeWholeFile(file, archive::statusPage(meters, today, nights), &error)) {
            std::fprintf(stderr, "tavrel-cli: cannot write %s: %s\n", console(file).constData(),
                         console(error).constData());
            return 3;
        }
    }
    return allGood ? 0 : 2;
}

}  // namespace tavrel::cli
