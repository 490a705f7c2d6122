// tavrel-cli: the tool without its window, for shells and schedulers.
//   tavrel-cli download [--port DEVICE | --demo] [--baud B] [--slave ID] [--out FILE]
//                       [--trace FILE] [--dial NUMBER]
//   tavrel-cli panel    [--port DEVICE | --demo] [--baud B] [--slave ID] [--keys TEXT]
//                       [--polls N] [--trace FILE] [--dial NUMBER]
//   tavrel-cli plot CSV [--out FILE.png|.svg|.pdf] [--channels LIST] [--from T] [--to T] [--size
//   WxH] tavrel-cli collect  [--book FILE [--port DEVICE] | --meters FILE] [--out-dir DIR]
//                       [--parallel N] [--retries R] [--backoff S] [--only NAME,...] [--force]
//                       [--report FILE] [--keep-traces]
// Port, baud, slave ID and file name default to Tavreldwn.ini in the working directory.
// download exits 0 "Finished. Data in File", 1 "0 Records Available", 2 "Error in
// Downloading!!", 3 "Error putting into file!!", 64 usage; panel exits 0 when its last poll
// read all four lines, 2 otherwise; collect exits 0 when every meter is collected, 2 when some
// failed.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#endif
#include <memory>

#include "archive_command.h"
#include "archive_visit.h"
#include "cli_views.h"
#include "collect_command.h"
#include "event_pump.h"
#include "find_command.h"
#include "leading_number.h"
#include "meters.h"
#include "plot_command.h"
#include "program_handlers.h"
#include "session.h"
#include "settings_file.h"
#include "sim_options.h"
#include "status_command.h"
#include "stop_signals.h"
#include "tavrel_version.h"

namespace {

using tavrel::ProgramState;
using tavrel::cli::console;
using tavrel::cli::usageError;

// The settings file's port, baud, slave ID and file name, without creating the file.
void loadDefaults(ProgramState& s) {
    s.CommPort = 1;
    s.CommBaud = QStringLiteral("38400");
    s.CommSlaveID = 1;
    s.DownloadSaveFile = QStringLiteral("Logdata.csv");
    if (!QFileInfo::exists(tavrel::kSettingsFileName)) return;
    tavrel::PlainSettingsWidgets widgets(s);
    tavrel::LoadSettings(s, widgets);
}

// Waits `seconds` while letting events run, as the window's timer would between ticks.
void waitSeconds(tavrel::Link& link, double seconds) {
    const double until = link.clock().elapsedSeconds() + seconds;
    for (double left = seconds; left > 0; left = until - link.clock().elapsedSeconds())
        link.pump().idle(tavrel::passLimit(left));
}

void hangUp(tavrel::Modem& modem) {
    modem.HangUp();
    std::fputc('\n', stdout);
}

bool dial(tavrel::Link& link, tavrel::Modem& modem, const tavrel::cli::TextModemView& view,
          const QString& number) {
    modem.DialModem(number);
    std::fputc('\n', stdout);
    const bool connected =
        link.port().portOpen() && (view.modemStatus().contains(QStringLiteral("CONNECT")) ||
                                   view.modemStatus().contains(QStringLiteral("Connect")));
    if (connected) {
        std::printf("Connected at %d baud\n", link.lineBaud());
        return true;
    }
    std::printf("Could not connect\n");
    // The dial command went out: a CONNECT that comes late must not hold the line open.
    if (modem.dialSent() && link.port().portOpen()) hangUp(modem);
    return false;
}

int runDownload(tavrel::Link& link, const QCommandLineParser& parser,
                tavrel::archive::Archive* archive) {
    tavrel::cli::TextDownloadView view(stdout, stderr, tavrel::cli::stderrIsTerminal());
    tavrel::FlexGrid grid(tavrel::kRecordsGridRows, tavrel::kRecordsGridCols);
    tavrel::DownloadDriver driver(link, grid, view);
    int result = -1;
    if (archive == nullptr) {
        result = driver.onDownloadClicked();
    } else {
        tavrel::archive::ArchiveVisitOptions options;
        options.meter = parser.value(QStringLiteral("meter"));
        options.place = parser.value(QStringLiteral("port"));
        options.full = parser.isSet(QStringLiteral("full"));
        const tavrel::archive::ArchiveVisitResult r =
            tavrel::archive::visitIntoArchive(*archive, driver, link, options);
        result = r.status;
        if (!r.stored) {
            std::fprintf(stderr, "tavrel-cli: not archived: %s\n",
                         console(r.outcome.error).constData());
            return 2;
        }
        if (r.visit.result == QStringLiteral("ok")) {
            const QString read = r.visit.readKind == QStringLiteral("full")
                                     ? QStringLiteral("whole log read: ") + r.visit.readWhy
                                     : QStringLiteral("new records only");
            std::printf(
                "Archived for %s: %d new, %d already known, %d conflicts (%s; %lld bytes "
                "on the wire)\n",
                console(options.meter).constData(), r.outcome.recordsNew, r.outcome.recordsKnown,
                r.outcome.conflicts, console(read).constData(),
                static_cast<long long>(r.visit.wireBytes));
            if (!r.outcome.newSeries.isEmpty())
                std::printf("Another instrument, kept apart as series %d of %s: %s\n",
                            r.outcome.series, console(options.meter).constData(),
                            console(r.outcome.newSeries).constData());
        }
    }
    if (result == 0 && parser.isSet(QStringLiteral("plot")))
        return tavrel::cli::plotAfterDownload(parser, link.state().DownloadSaveFile);
    return result < 0 ? 2 : result;
}

int runPanel(tavrel::Link& link, const QByteArray& keys, int polls,
             const tavrel::collect::StopSignals& stop) {
    tavrel::cli::TextPanelView view;
    tavrel::FrontPanel panel(link, view);
    link.state().KeyBuffer = keys;
    bool allRead = false;
    for (int i = 0; i < polls && !stop.fired(); ++i) {
        waitSeconds(link, 0.75);
        if (stop.fired()) break;
        allRead = panel.tick();
        std::printf("-- poll %d%s\n", i + 1, allRead ? "" : " (not all lines read)");
        for (const QString& line : view.lines()) std::printf("|%s|\n", console(line).constData());
        std::fflush(stdout);
    }
    return allRead ? 0 : 2;
}

// plot --archive DB --meter NAME: the meter's history (or --from/--to of it) drawn like a CSV.
int plotFromArchive(const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("meter")))
        return usageError(QStringLiteral("plot --archive wants --meter NAME"));
    tavrel::archive::Archive archive;
    if (!tavrel::cli::openArchive(parser, archive, tavrel::archive::Archive::Mode::ReadOnly))
        return 3;
    const QString meter = parser.value(QStringLiteral("meter"));
    QTemporaryDir dir;
    // The meter's name is any text ("FT-101/A"): the file between export and chart is ours.
    const QString csv = dir.filePath(QStringLiteral("history.csv"));
    QString error;
    bool usage = false;
    const int rows = tavrel::cli::exportCsv(archive, parser, csv, &error, &usage);
    if (rows < 0 && usage) return usageError(error);
    if (rows < 0) {
        std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
        return 3;
    }
    if (rows == 0) {
        std::fprintf(stderr, "tavrel-cli: no records of %s in that range\n",
                     console(meter).constData());
        return 1;
    }
    QCommandLineParser whole;  // the range is already cut: the chart takes all of the file
    tavrel::cli::addPlotOptions(whole);
    whole.addOption({QStringLiteral("out"), QString(), QStringLiteral("FILE")});
    QStringList args{QStringLiteral("tavrel-cli"), QStringLiteral("--out"),
                     parser.isSet(QStringLiteral("out"))
                         ? parser.value(QStringLiteral("out"))
                         : tavrel::collect::meterFolder(meter) + QStringLiteral(".png")};
    for (const char* option : {"channels", "size"}) {
        if (parser.isSet(QLatin1String(option)))
            args << QStringLiteral("--") + QLatin1String(option)
                 << parser.value(QLatin1String(option));
    }
    whole.process(args);
    return tavrel::cli::runPlotCommand(whole, csv);
}

int run(int argc, char* argv[]) {
    // Drawing a chart needs the GUI classes (never a screen): the plot module brings them and
    // its application object; every other run stays a console program.
    std::unique_ptr<QCoreApplication> app;
    if (tavrel::cli::wantsPlot(argc, argv)) {
        QString error;
        app.reset(tavrel::cli::plotApplication(argc, argv, &error));
        if (!app) {
            std::fprintf(stderr, "tavrel-cli: cannot draw charts here: %s\n",
                         error.toLocal8Bit().constData());
            return 3;
        }
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tavrel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION_TEXT));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Headless flow meter service tool.\n"
        "  download  read the instrument's log into a CSV file\n"
        "  panel     show the instrument's display, optionally pressing keys\n"
        "  plot      draw the chart of a CSV file the tool wrote (PNG, PDF or SVG)\n"
        "  collect   download from every meter of a meters file or phone book\n"
        "  export    the archive's records of a meter as the tool's CSV\n"
        "  meters    what the archive holds\n"
        "  conflicts stamps the archive was offered again with another value\n"
        "  status    the fleet's status from the archive (exit 2 when a meter failed)\n"
        "  find      which port, speed and slave ID the instrument answers on\n"
        "Exit codes: 0 done (\"Finished. Data in File\"; panel: last poll read all\n"
        "lines; collect: every meter collected), 1 \"0 Records Available\", 2 \"Error in\n"
        "Downloading!!\" or a failed dial, poll or meter, or an archive that cannot be\n"
        "reached or written, 3 \"Error putting into file!!\", or an export or chart not\n"
        "written, 64 usage (plot: also a file that is not a log)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("download, panel, plot, collect, export, meters, conflicts, status or "
                       "find"));
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Serial device (or tcp://HOST:PORT) to use."),
         QStringLiteral("DEVICE")},
        {QStringLiteral("demo"), QStringLiteral("Use the built-in simulated instrument.")},
        {QStringLiteral("baud"),
         QStringLiteral("Baud rate (default from Tavreldwn.ini, else 38400)."),
         QStringLiteral("B")},
        {QStringLiteral("slave"),
         QStringLiteral("Modbus slave ID (default from Tavreldwn.ini, else 1)."),
         QStringLiteral("ID")},
        {QStringLiteral("out"), QStringLiteral("CSV file to write (download)."),
         QStringLiteral("FILE")},
        {QStringLiteral("keys"),
         QStringLiteral("Keys to press, one per poll: 0-9 . N L M E F (panel)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("polls"),
         QStringLiteral("Polls to run, 750 ms apart, one key each (panel, default: one per key, "
                        "at least 1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("trace"), QStringLiteral("Write every frame to FILE (- for stderr)."),
         QStringLiteral("FILE")},
        {QStringLiteral("dial"),
         QStringLiteral("Dial NUMBER through a modem first, hang up after."),
         QStringLiteral("NUMBER")},
    });
    tavrel::cli::addCollectOptions(parser);
    tavrel::cli::addArchiveOptions(parser);
    tavrel::cli::addStatusOptions(parser);
    tavrel::cli::addFindOptions(parser);
    tavrel::cli::addPlotOptions(parser);
    tavrel::sim::addSimOptions(parser, QStringLiteral("sim-"));
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", console(parser.helpText()).constData());
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("tavrel-cli %s\n", TAVREL_VERSION_TEXT);
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (command == QStringLiteral("plot")) {
        if (parser.isSet(QStringLiteral("archive")) && args.size() == 1)
            return plotFromArchive(parser);
        if (args.size() != 2) return usageError(QStringLiteral("say plot CSV"));
        return tavrel::cli::runPlotCommand(parser, args[1]);
    }
    if (args.size() == 1 && command == QStringLiteral("export"))
        return tavrel::cli::runExportCommand(parser);
    if (args.size() == 1 && command == QStringLiteral("meters"))
        return tavrel::cli::runMetersCommand(parser);
    if (args.size() == 1 && command == QStringLiteral("conflicts"))
        return tavrel::cli::runConflictsCommand(parser);
    if (args.size() == 1 && command == QStringLiteral("status"))
        return tavrel::cli::runStatusCommand(parser);
    if (args.size() == 1 && command == QStringLiteral("find"))
        return tavrel::cli::runFindCommand(parser);
    if (args.size() != 1 ||
        (command != QStringLiteral("download") && command != QStringLiteral("panel") &&
         command != QStringLiteral("collect"))) {
        return usageError(QStringLiteral(
            "say download, panel, plot, collect, export, meters, conflicts, status or find"));
    }
    if (parser.isSet(QStringLiteral("plot")) && command != QStringLiteral("download"))
        return usageError(QStringLiteral("--plot goes with download"));
    if (command == QStringLiteral("collect")) return tavrel::cli::runCollectCommand(parser);
    if (const QStringList extra = tavrel::cli::collectOnlyOptionsSet(parser); !extra.isEmpty())
        return usageError(extra.join(u' ') + QStringLiteral(" go with collect only"));
    if (parser.isSet(QStringLiteral("port")) && parser.isSet(QStringLiteral("demo"))) {
        return usageError(QStringLiteral("--port and --demo exclude each other"));
    }

    ProgramState defaults;
    loadDefaults(defaults);
    if (parser.isSet(QStringLiteral("baud"))) {
        const qsizetype i = tavrel::baudCaptions().indexOf(
            tavrel::leadingNumberText(parser.value(QStringLiteral("baud"))));
        if (i < 0)
            return usageError(QStringLiteral("--baud wants one of ") +
                              tavrel::baudCaptions().join(u' '));
        defaults.CommBaud = tavrel::baudCaptions()[i];
    }
    if (parser.isSet(QStringLiteral("slave"))) {
        const auto id =
            tavrel::toInt16(tavrel::leadingNumber(parser.value(QStringLiteral("slave"))));
        if (!id || *id < 0 || *id > 255)
            return usageError(QStringLiteral("--slave wants a number from 0 to 255"));
        defaults.CommSlaveID = *id;
    }
    if (parser.isSet(QStringLiteral("out")))
        defaults.DownloadSaveFile = parser.value(QStringLiteral("out"));
    bool pollsOk = false;
    int polls = parser.value(QStringLiteral("polls")).toInt(&pollsOk);
    if (!pollsOk || polls < 1) return usageError(QStringLiteral("--polls wants a positive number"));
    const QByteArray keys = parser.value(QStringLiteral("keys")).toLatin1();
    for (const char k : keys) {
        if (!QByteArray("0123456789.NLMEF").contains(k)) {
            return usageError(
                QStringLiteral("--keys takes only the key characters 0-9 . N L M E F"));
        }
    }
    // Each poll sends at most one key: a key left in the queue would never reach the instrument.
    if (polls < keys.size()) {
        if (parser.isSet(QStringLiteral("polls"))) {
            return usageError(
                QStringLiteral("--polls %1 sends only %1 of the %2 keys (one key a poll)")
                    .arg(polls)
                    .arg(keys.size()));
        }
        polls = static_cast<int>(keys.size());
    }

    tavrel::SessionOptions options;
    options.ports.loadFile(tavrel::kPortsFileName);  // what `find --save` kept; --port wins
    options.demo = parser.isSet(QStringLiteral("demo"));
    options.tracePath = parser.value(QStringLiteral("trace"));
    if (parser.isSet(QStringLiteral("port")))
        options.ports.set(defaults.CommPort, parser.value(QStringLiteral("port")));
    QString error;
    if (!tavrel::sim::readSimOptions(parser, options.demoOptions, &error, QStringLiteral("sim-")))
        return usageError(error);
    // The archive is opened before the line: a wrong address costs no call.
    std::unique_ptr<tavrel::archive::Archive> archive;
    if (parser.isSet(QStringLiteral("archive"))) {
        if (command != QStringLiteral("download"))
            return usageError(
                QStringLiteral("--archive goes with download, collect, export, "
                               "meters, conflicts, status and plot"));
        if (!parser.isSet(QStringLiteral("meter")))
            return usageError(QStringLiteral("download --archive wants --meter NAME"));
        archive = std::make_unique<tavrel::archive::Archive>();
        if (!tavrel::cli::openArchive(parser, *archive, tavrel::archive::Archive::Mode::ReadWrite))
            return 2;
    }
    tavrel::Session session(options);
    if (!session.traceError().isEmpty()) return usageError(session.traceError());
    ProgramState& s = session.state();
    s.CommPort = defaults.CommPort;
    s.CommBaud = defaults.CommBaud;
    s.CommSlaveID = defaults.CommSlaveID;
    s.DownloadSaveFile = defaults.DownloadSaveFile;

    tavrel::Link& link = session.link();
    tavrel::cli::TextModemView modemView(stdout);
    tavrel::Modem modem(link, modemView);
    modem.setStopAtRefusal(true);  // BUSY or NO CARRIER ends the dial; nobody waits out 90 s
    // Ctrl+C (or a scheduler's SIGTERM) ends the run at the next pass of its wait: the port is
    // shut, the operation fails as it would on a lost port, the old CSV stays as it was.
    tavrel::collect::StopSignals stop([&link] { link.shutDown(); });
    const auto interrupted = [&](const char* what) {
        std::fprintf(stderr, "tavrel-cli: %s interrupted; the port is closed\n", what);
        return 130;
    };
    const bool dialFirst = parser.isSet(QStringLiteral("dial"));
    if (dialFirst && !dial(link, modem, modemView, parser.value(QStringLiteral("dial"))))
        return stop.fired() ? interrupted("dial") : 2;
    if (!dialFirst && !link.OpenCommPort()) {
        std::fprintf(stderr, "tavrel-cli: cannot open the port: %s\n",
                     console(link.port().errorText()).constData());
    }
    const bool isDownload = command == QStringLiteral("download");
    const int status =
        isDownload ? runDownload(link, parser, archive.get()) : runPanel(link, keys, polls, stop);
    if (stop.fired()) return interrupted(isDownload ? "download" : "panel");
    if (dialFirst) hangUp(modem);
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int code = run(argc, argv);
#ifdef _WIN32
    // Everything is written and closed by now (the application object is gone). Leave without
    // the libraries' detach handlers: under wine, a round whose visits used PostgreSQL from
    // threads of their own sometimes hangs in libstdc++'s DLL_PROCESS_DETACH after its summary
    // (docs/windows.md), and nothing is left for them to do.
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
#endif
    return code;
}
