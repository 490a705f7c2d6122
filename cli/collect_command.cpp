#include "collect_command.h"

#include "archive.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <cstdio>

#include "cli_views.h"
#include "collector.h"
#include "local_text.h"
#include "settings_file.h"
#include "whole_file.h"

namespace tavrel::cli {

namespace {

constexpr int kSomeFailed = 2;

const QStringList& collectOnlyOptions() {
    static const QStringList names{
        QStringLiteral("book"),        QStringLiteral("meters"),  QStringLiteral("out-dir"),
        QStringLiteral("parallel"),    QStringLiteral("retries"), QStringLiteral("backoff"),
        QStringLiteral("only"),        QStringLiteral("force"),   QStringLiteral("report"),
        QStringLiteral("keep-traces"), QStringLiteral("no-csv")};
    return names;
}

// Event lines always; on a terminal also one status line that each update rewrites.
class ConsoleProgress final : public collect::CollectProgress {
  public:
    explicit ConsoleProgress(bool terminal) : terminal_(terminal) {}
    void event(const QString& text) override {
        clearStatus();
        std::fprintf(stderr, "%s\n", console(text).constData());
        if (terminal_ && !status_.isEmpty()) draw();
        std::fflush(stderr);
    }
    void status(const QString& text) override {
        if (!terminal_) return;
        clearStatus();
        status_ = text;
        if (!status_.isEmpty()) draw();
        std::fflush(stderr);
    }

  private:
    void clearStatus() {
        if (terminal_ && shown_) std::fputs("\r\x1b[K", stderr);
        shown_ = false;
    }
    void draw() {
        std::fputs(console(status_.left(200)).constData(), stderr);
        shown_ = true;
    }
    bool terminal_;
    bool shown_ = false;
    QString status_;
};

void printSummary(const QList<collect::MeterReport>& reports) {
    qsizetype nameWidth = 5;
    for (const auto& r : reports) nameWidth = std::max(nameWidth, displayWidth(r.name));
    auto line = [&](const QString& name, const QString& result, const QStringList& numbers,
                    const QString& cause) {
        QString text = padded(name, nameWidth) + u' ' + padded(result, 7);
        for (const QString& n : numbers) text += u' ' + padded(n, 8, true);
        std::printf("%s\n", console((text + QStringLiteral("  ") + cause).trimmed()).constData());
    };
    line(QStringLiteral("meter"), QStringLiteral("result"),
         {QStringLiteral("records"), QStringLiteral("seconds"), QStringLiteral("retries"),
          QStringLiteral("baud"), QStringLiteral("bytes")},
         QStringLiteral("cause"));
    int failed = 0;
    for (const auto& r : reports) {
        failed += r.result == QStringLiteral("failed") ? 1 : 0;
        const bool visited = r.result != QStringLiteral("skipped");
        QString cause = r.cause;
        if (!r.read.isEmpty()) {
            // Into the archive: what was new, and how the log was read.
            QString archived =
                QStringLiteral("%1 new, %2 known").arg(r.recordsNew).arg(r.recordsKnown);
            if (r.conflicts > 0) archived += QStringLiteral(", %1 conflicts").arg(r.conflicts);
            archived += QStringLiteral(", ") + r.read;
            cause = cause.isEmpty() ? archived : cause + QStringLiteral("; ") + archived;
        }
        line(r.name, r.result,
             {QString::number(r.records), QString::number(r.seconds, 'f', 1),
              QString::number(r.retries), visited ? QString::number(r.lineBaud) : QString(),
              visited ? QString::number(r.wireBytes) : QString()},
             cause);
    }
    std::printf("%lld meters: %lld collected or up to date, %d failed\n",
                static_cast<long long>(reports.size()),
                static_cast<long long>(reports.size() - failed), failed);
    std::fflush(stdout);
}

bool positive(const QCommandLineParser& parser, const QString& name, int least, int* out) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    *out = parser.value(name).toInt(&ok);
    return ok && *out >= least;
}

}  // namespace

void addCollectOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("book"),
         QStringLiteral("Collect from the phone book of this settings file, dialing each "
                        "number through its port (or --port) (collect)."),
         QStringLiteral("FILE")},
        {QStringLiteral("meters"),
         QStringLiteral("Collect from the meters named in FILE: NAME WHERE [baud=B] [slave=ID] "
                        "[dial=NUMBER] a line (collect)."),
         QStringLiteral("FILE")},
        {QStringLiteral("out-dir"),
         QStringLiteral("Write DIR/NAME/YYYY-MM-DD_HHMM.csv (collect, default .)."),
         QStringLiteral("DIR")},
        {QStringLiteral("parallel"),
         QStringLiteral("Visits at once, never two on one line (collect, default: one a "
                        "line)."),
         QStringLiteral("N")},
        {QStringLiteral("retries"),
         QStringLiteral("Further attempts for a failed meter, later in the round (collect, "
                        "default 2)."),
         QStringLiteral("R")},
        {QStringLiteral("backoff"),
         QStringLiteral("Seconds before the first retry, doubling after that (collect, default "
                        "60)."),
         QStringLiteral("S")},
        {QStringLiteral("only"), QStringLiteral("Visit only these meters (collect)."),
         QStringLiteral("NAME,...")},
        {QStringLiteral("force"),
         QStringLiteral("Visit meters collected earlier today too (collect).")},
        {QStringLiteral("report"), QStringLiteral("Write the round's report as JSON (collect)."),
         QStringLiteral("FILE")},
        {QStringLiteral("keep-traces"),
         QStringLiteral("Trace every visit beside its CSV, for support (collect).")},
        {QStringLiteral("no-csv"),
         QStringLiteral("With --archive: the archive alone, no CSV files (collect).")},
    });
}

QStringList collectOnlyOptionsSet(const QCommandLineParser& parser) {
    QStringList set;
    for (const QString& name : collectOnlyOptions()) {
        if (parser.isSet(name)) set.append(QStringLiteral("--") + name);
    }
    return set;
}

int runCollectCommand(const QCommandLineParser& parser) {
    for (const char* other : {"demo", "out", "keys", "polls", "trace", "dial", "baud", "slave"}) {
        if (parser.isSet(QLatin1String(other)))
            return usageError(
                QStringLiteral("collect does not take --%1").arg(QLatin1String(other)));
    }
    const bool book = parser.isSet(QStringLiteral("book"));
    const bool file = parser.isSet(QStringLiteral("meters"));
    if (book == file)
        return usageError(QStringLiteral("collect wants --book FILE or --meters FILE"));
    if (parser.isSet(QStringLiteral("port")) && !book)
        return usageError(
            QStringLiteral("--port goes with --book (the meters file names each line)"));

    collect::CollectOptions options;
    if (!positive(parser, QStringLiteral("parallel"), 1, &options.parallel))
        return usageError(QStringLiteral("--parallel wants a number from 1"));
    if (!positive(parser, QStringLiteral("retries"), 0, &options.retries))
        return usageError(QStringLiteral("--retries wants a number from 0"));
    if (parser.isSet(QStringLiteral("backoff"))) {
        bool ok = false;
        options.backoffSeconds = parser.value(QStringLiteral("backoff")).toDouble(&ok);
        if (!ok || options.backoffSeconds < 0 || options.backoffSeconds > 86400)
            return usageError(QStringLiteral("--backoff wants seconds from 0 to 86400"));
    }
    if (parser.isSet(QStringLiteral("out-dir")))
        options.outDir = parser.value(QStringLiteral("out-dir"));
    options.force = parser.isSet(QStringLiteral("force"));
    options.trace = parser.isSet(QStringLiteral("keep-traces"));
    options.archive = parser.value(QStringLiteral("archive"));
    options.noCsv = parser.isSet(QStringLiteral("no-csv"));
    options.full = parser.isSet(QStringLiteral("full"));
    if (options.noCsv && options.archive.isEmpty())
        return usageError(QStringLiteral("--no-csv goes with --archive"));
    if (!options.archive.isEmpty()) {
        // A wrong address is said now, before any meter is called.
        archive::Archive check;
        QString error;
        if (!check.open(options.archive, &error)) {
            // Unreachable, a refused login, read-only: the night failed, the command line did not.
            std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
            return 2;
        }
    }

    QList<collect::Meter> meters;
    if (book) {
        const QString name = parser.value(QStringLiteral("book"));
        if (!QFile::exists(name))
            return usageError(QStringLiteral("no settings file %1").arg(name));
        meters = collect::metersFromBook(name, parser.value(QStringLiteral("port")));
        if (meters.isEmpty())
            return usageError(QStringLiteral("the phone book of %1 holds no numbers").arg(name));
    } else {
        const QString name = parser.value(QStringLiteral("meters"));
        QFile in(name);
        if (!in.open(QIODevice::ReadOnly))
            return usageError(QStringLiteral("cannot read %1: %2").arg(name, in.errorString()));
        QString error;
        if (!collect::parseMeters(in.readAll(), name, &meters, &error)) return usageError(error);
    }
    if (parser.isSet(QStringLiteral("only"))) {
        const QStringList wanted =
            parser.value(QStringLiteral("only")).split(u',', Qt::SkipEmptyParts);
        QList<collect::Meter> kept;
        QSet<QString> known;
        for (const auto& m : meters) known.insert(m.name);
        for (const QString& w : wanted) {
            if (!known.contains(w)) return usageError(QStringLiteral("no meter named %1").arg(w));
        }
        for (const auto& m : meters) {
            if (wanted.contains(m.name)) kept.append(m);
        }
        meters = kept;
    }

    const QString started = QDateTime::currentDateTime().toString(Qt::ISODate);
    ConsoleProgress progress(stderrIsTerminal());
    QList<collect::MeterReport> reports;
    QString error;
    if (!collect::runCollect(meters, options, progress, &reports, &error)) {
        // A folder that cannot be made or written is a mistake in the set-up: said before any
        // meter is called, as a usage error.
        if (error.startsWith(QStringLiteral("cannot"))) return usageError(error);
        std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
        return kSomeFailed;
    }
    printSummary(reports);
    if (parser.isSet(QStringLiteral("report"))) {
        const QString name = parser.value(QStringLiteral("report"));
        const QByteArray json = collect::reportJson(
            reports, started, QDateTime::currentDateTime().toString(Qt::ISODate));
        QString writeError;
        if (!writeWholeFile(name, json, &writeError)) {
            std::fprintf(stderr, "tavrel-cli: cannot write the report %s: %s\n",
                         console(name).constData(), console(writeError).constData());
            return kSomeFailed;
        }
    }
    for (const auto& r : reports) {
        if (r.result == QStringLiteral("failed")) return kSomeFailed;
    }
    return 0;
}

}  // namespace tavrel::cli
