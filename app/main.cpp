// The tool's window. Without options it behaves as it always has: COM1 to COM4 as the settings
// say. `--port N=DEVICE` points port number N at another device (a USB adapter, a pseudo-
// terminal, tcp://HOST:PORT); `--demo` puts the built-in simulated instrument behind every
// port; `--trace FILE` writes every frame to FILE ("-" for stderr). A FILE.csv the tool saved
// opens into the records grid and the chart.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "dwnload1.h"
#include "session.h"
#include "sim_options.h"
#include "tavrel_version.h"

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
                       "Settings: Tavreldwn.ini in the working directory.\n"
                       "Exit codes: 0 after the window closed, 64 usage."));
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

    tavrel::SessionOptions options;
    options.ports.loadFile(tavrel::kPortsFileName);  // what `find --save` kept; --port wins
    QString error;
    for (const QString& value : parser.values(QStringLiteral("port"))) {
        if (!options.ports.addOption(value, &error)) break;
    }
    options.demo = parser.isSet(QStringLiteral("demo"));
    options.tracePath = parser.value(QStringLiteral("trace"));
    if (error.isEmpty())
        tavrel::sim::readSimOptions(parser, options.demoOptions, &error, QStringLiteral("sim-"));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(error));
        return 64;
    }

    tavrel::Session session(options);
    if (!session.traceError().isEmpty())
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(session.traceError()));
    tavrel::DwnLoad1 window(session.link());
    window.startUp();
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        const QString file = parser.positionalArguments().first();
        if (!window.openLog(file, &error))
            QMessageBox::warning(&window, QStringLiteral("tavrel"),
                                 QStringLiteral("%1: %2").arg(file, error));
    }
    return QApplication::exec();
}
