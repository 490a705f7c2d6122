// The tool's window. Without options it behaves as it always has: COM1 to COM4 as the settings
// say. `--port N=DEVICE` points port number N at another device (a USB adapter, a pseudo-
// terminal, tcp://HOST:PORT); `--demo` puts the built-in simulated instrument behind every
// port; `--trace FILE` writes every frame to FILE ("-" for stderr); `--documents` (the Windows
// Start menu's shortcuts) works in the user's Documents\TAVREL. Where the files go: file_places.h.
// `--lang ko|en` sets the window's language for this run (language.h says how it is chosen).
// A FILE.csv the tool saved opens into the records grid and the chart.

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "dwnload1.h"
#include "file_places.h"
#include "language.h"
#include "session.h"
#include "settings_file.h"
#include "sim_options.h"
#include "tavrel_version.h"

namespace {

// A GUI program on Windows has no console: what would go there is shown in a box as well.
void tellAtStart(const QString& text) {
    std::fprintf(stderr, "tavrel: %s\n", qPrintable(text));
#ifdef _WIN32
    QMessageBox::warning(nullptr, QCoreApplication::applicationName(), text);
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    // --version and --help answer before the window system is asked for: they work over ssh,
    // in scripts and on a machine without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("tavrel %s\n", TAVREL_VERSION_TEXT);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrel"));
    QApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Flow meter data logger service tool.\n"
                       "Settings: Tavreldwn.ini in the working directory (the demo: %1).\n"
                       "Exit codes: 0 after the window closed, 64 usage.")
#ifdef _WIN32
            .arg(QStringLiteral("Documents\\TAVREL\\Demo")));
#else
            .arg(QStringLiteral("~/Tavrel/Demo")));
#endif
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Point COM port number N at DEVICE (repeatable)."),
         QStringLiteral("N=DEVICE")},
        {QStringLiteral("demo"),
         QStringLiteral("Work with the built-in simulated instrument instead of a serial port.")},
        {QStringLiteral("trace"),
         QStringLiteral("Write every frame sent and received to FILE (- for stderr)."),
         QStringLiteral("FILE")},
        {QStringLiteral("lang"),
         QStringLiteral("The window's language: ko (Korean) or en (English). Without it, the "
                        "language chosen in the settings tab's menu, else the system's."),
         QStringLiteral("ko|en")},
        {QStringLiteral("documents"),
         QStringLiteral("Keep settings and downloads in Documents\\TAVREL (Windows; the Start "
                        "menu's shortcuts).")},
    });
    tavrel::sim::addSimOptions(parser, QStringLiteral("sim-"));
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A log the tool saved (.csv) to open."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "tavrel: open one log at a time\n");
        return 64;
    }
    // Named from where the user stands, before the working folder may move.
    const QString openFile =
        parser.positionalArguments().isEmpty()
            ? QString()
            : QFileInfo(parser.positionalArguments().first()).absoluteFilePath();

    // Before any file is touched: the demo's folder, the user's documents or the fallback.
    QStringList notices;
    const tavrel::PlaceInputs placeInputs = tavrel::systemPlaceInputs(
        parser.isSet(QStringLiteral("demo")), parser.isSet(QStringLiteral("documents")));
    const tavrel::FilePlaces places = tavrel::placeFiles(placeInputs);
    if (const QString why = tavrel::applyFilePlaces(places); !why.isEmpty()) notices << why;

    // The window's language, before the first widget is made.
    std::optional<tavrel::Language> chosen =
        tavrel::loadLanguageChoice(tavrel::settingsPath(tavrel::kLanguageFileName));
    if (parser.isSet(QStringLiteral("lang"))) {
        chosen = tavrel::parseLanguage(parser.value(QStringLiteral("lang")));
        if (!chosen) {
            tellAtStart(QStringLiteral("--lang takes ko or en, not \"%1\"")
                            .arg(parser.value(QStringLiteral("lang"))));
            return 64;
        }
    }
    tavrel::Translations translations;
    if (!translations.install(chosen.value_or(tavrel::systemLanguage()))) {
        // A broken installation: said, and the window shows the texts built into it.
        notices << QStringLiteral("tavrel_%1.qm is not in %2: the window shows its built-in texts.")
                       .arg(tavrel::languageCode(translations.language()),
                            tavrel::translationFolders().join(QStringLiteral(", ")));
    }

    // Where the files went, said in the window's language now that it is known.
    if (!places.notice.isEmpty()) notices << tavrel::placeFiles(placeInputs).notice;

    tavrel::SessionOptions options;
    // What `find --save` kept; --port wins.
    options.ports.loadFile(tavrel::settingsPath(tavrel::kPortsFileName));
    QString error;
    for (const QString& value : parser.values(QStringLiteral("port"))) {
        if (!options.ports.addOption(value, &error)) break;
    }
    options.demo = parser.isSet(QStringLiteral("demo"));
    options.tracePath = parser.value(QStringLiteral("trace"));
    if (error.isEmpty())
        tavrel::sim::readSimOptions(parser, options.demoOptions, &error, QStringLiteral("sim-"));
    if (!error.isEmpty()) {
        tellAtStart(error);
        return 64;
    }

    tavrel::Session session(options);
    if (!session.traceError().isEmpty()) notices << session.traceError();
    tavrel::DwnLoad1 window(session.link());
    window.useTranslations(&translations, chosen);
    if (options.demo) window.showAsDemo();
    window.startUp();
    window.show();
    if (!openFile.isEmpty()) {
        if (!window.openLog(openFile, &error))
            QMessageBox::warning(&window, QStringLiteral("tavrel"),
                                 QStringLiteral("%1: %2").arg(openFile, error));
    }
    // Said in the window once it is up, never only on a console nobody sees.
    QTimer::singleShot(0, &window, [&window, notices] {
        for (const QString& notice : notices) {
            std::fprintf(stderr, "tavrel: %s\n", qPrintable(notice));
            if (window.warn) window.warn(notice);
        }
    });
    return QApplication::exec();
}
