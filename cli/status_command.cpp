#include "status_command.h"

#include <cstdio>

#include "archive.h"
#include "archive_command.h"
#include "cli_views.h"
#include "whole_file.h"

namespace tavrel::cli {

namespace {

QString when(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("never");
}

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

// One self-contained page: no script, no font or style from the network.
QByteArray statusPage(const QList<archive::MeterStatus>& meters, const QDate& today, int nights) {
    QString html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>Meters: status of %1</title><style>\n"
            "body{font-family:sans-serif;margin:16px;color:#222}"
            "table{border-collapse:collapse}th,td{border-bottom:1px solid #ddd;padding:4px 8px;"
            "text-align:left;white-space:nowrap}td.n{text-align:right}"
            ".strip{display:flex;gap:1px}.strip span{display:inline-block;width:9px;height:18px}"
            ".ok{background:#2e9d4f}.empty{background:#e0b030}.failed{background:#d63b30}"
            ".none{background:#e6e6e6}tr.bad td.name{color:#b00;font-weight:bold}"
            "</style></head><body>\n<h1>Meters on %1</h1>\n<p>Worst first. Each strip: the last "
            "%2 nights, oldest left: <span class=\"ok\">&nbsp;&nbsp;</span> collected, "
            "<span class=\"empty\">&nbsp;&nbsp;</span> empty log, <span class=\"failed\">"
            "&nbsp;&nbsp;</span> failed, <span class=\"none\">&nbsp;&nbsp;</span> no visit.</p>\n"
            "<table>\n<tr><th>meter</th><th>last nights</th><th>last good visit</th><th>nights "
            "failed</th><th>new records</th><th>bytes</th><th>seconds</th><th>gaps</th>"
            "<th>conflicts</th><th>last cause</th></tr>\n")
            .arg(today.toString(Qt::ISODate))
            .arg(nights);
    for (const archive::MeterStatus& m : meters) {
        QString strip;
        for (const QString& n : m.nights)
            strip += QStringLiteral("<span class=\"%1\"></span>")
                         .arg(n.isEmpty() ? QStringLiteral("none") : n);
        html += QStringLiteral(
                    "<tr class=\"%1\"><td class=\"name\">%2</td><td><div "
                    "class=\"strip\">%3</div></td><td>%4</td><td class=\"n\">%5</td>"
                    "<td class=\"n\">%6</td><td class=\"n\">%7</td><td class=\"n\">"
                    "%8</td><td class=\"n\">%9</td>")
                    .arg(m.lastResult == QStringLiteral("failed") ? QStringLiteral("bad")
                                                                  : QStringLiteral("good"),
                         escaped(m.name), strip, when(m.lastGood), QString::number(m.roundsFailed),
                         QString::number(m.recordsNew), QString::number(m.wireBytes),
                         QString::number(m.seconds, 'f', 1), QString::number(m.gaps));
        html +=
            QStringLiteral("<td class=\"n\">%1</td><td>%2</td></tr>\n")
                .arg(QString::number(m.conflicts),
                     escaped(m.lastResult == QStringLiteral("failed") ? m.lastCause : QString()));
    }
    html += QStringLiteral("</table>\n</body></html>\n");
    return html.toUtf8();
}

}  // namespace

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
    if (!openArchive(parser, archive)) return kUsageExit;
    const QDate today = QDate::currentDate();
    const QList<archive::MeterStatus> meters = archive.status(nights, today);
    bool allGood = true;
    std::printf("%-20s %-16s %6s %8s %9s %8s %5s %9s  %s\n", "meter", "last good visit", "failed",
                "new", "bytes", "seconds", "gaps", "conflicts", "last result");
    for (const archive::MeterStatus& m : meters) {
        const bool failed = m.lastResult == QStringLiteral("failed");
        allGood = allGood && !failed;
        std::printf(
            "%-20s %-16s %6d %8d %9lld %8.1f %5d %9d  %s\n", console(m.name).constData(),
            console(when(m.lastGood)).constData(), m.roundsFailed, m.recordsNew,
            static_cast<long long>(m.wireBytes), m.seconds, m.gaps, m.conflicts,
            console(failed ? m.lastResult + QStringLiteral(": ") + m.lastCause : m.lastResult)
                .constData());
    }
    if (parser.isSet(QStringLiteral("html"))) {
        QString error;
        const QString file = parser.value(QStringLiteral("html"));
        if (!writeWholeFile(file, statusPage(meters, today, nights), &error)) {
            std::fprintf(stderr, "tavrel-cli: cannot write %s: %s\n", console(file).constData(),
                         console(error).constData());
            return 3;
        }
    }
    return allGood ? 0 : 2;
}

}  // namespace tavrel::cli
