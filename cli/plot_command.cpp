#include "plot_command.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <cstdio>
#include <cstring>

#include "cli_views.h"
#include "plot_request.h"

namespace tavrel::cli {

namespace {

constexpr int kNotWritten = 3;

QLibrary& module() {
    static QLibrary library;
    return library;
}

PlotRequest requestFrom(const QCommandLineParser& parser, const QString& csv, const QString& out) {
    PlotRequest r;
    r.csv = csv;
    r.out = out;
    r.channels = parser.value(QStringLiteral("channels"));
    r.from = parser.value(QStringLiteral("from"));
    r.to = parser.value(QStringLiteral("to"));
    r.size = parser.value(QStringLiteral("size"));
    return r;
}

int callModule(const PlotRequest& request) {
    const auto plot = reinterpret_cast<PlotFn>(module().resolve(kPlotSymbol));
    if (plot == nullptr) {
        std::fprintf(stderr, "tavrel-cli: cannot draw: %s\n",
                     console(module().errorString()).constData());
        return kNotWritten;
    }
    return plot(&request);
}

}  // namespace

void addPlotOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("plot"),
         QStringLiteral("After the download, draw its chart into FILE (.png, .svg or .pdf) "
                        "(download)."),
         QStringLiteral("FILE")},
        {QStringLiteral("channels"),
         QStringLiteral("Channels to draw: numbers (1 = the first column after the time) or "
                        "captions (plot)."),
         QStringLiteral("LIST")},
        {QStringLiteral("from"),
         QStringLiteral("Draw from this time, e.g. 2026-03-15T09:30 (plot)."), QStringLiteral("T")},
        {QStringLiteral("to"), QStringLiteral("Draw up to this time (plot)."), QStringLiteral("T")},
        {QStringLiteral("size"), QStringLiteral("Image size in pixels (plot, default 1200x600)."),
         QStringLiteral("WxH")},
    });
}

bool wantsPlot(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "plot") == 0 || std::strcmp(argv[i], "--plot") == 0 ||
            std::strncmp(argv[i], "--plot=", 7) == 0)
            return true;
    }
    return false;
}

QCoreApplication* plotApplication(int& argc, char* argv[], QString* error) {
    // Beside the program in the build tree; in the library folder once installed.
    const QString programDir = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    for (const QString& dir :
         {programDir, QDir(programDir).filePath(QStringLiteral(TAVREL_PLOT_MODULE_DIR))}) {
        module().setFileName(QDir(dir).filePath(QStringLiteral("tavrel-plot")));
        if (module().load()) break;
    }
    const auto make = reinterpret_cast<PlotApplicationFn>(module().resolve(kPlotApplicationSymbol));
    if (make == nullptr) {
        *error = module().errorString();
        return nullptr;
    }
    return make(&argc, argv);
}

int runPlotCommand(const QCommandLineParser& parser, const QString& csv) {
    const QString out = parser.isSet(QStringLiteral("out"))
                            ? parser.value(QStringLiteral("out"))
                            : QFileInfo(csv).path() + u'/' + QFileInfo(csv).completeBaseName() +
                                  QStringLiteral(".png");
    return callModule(requestFrom(parser, csv, out));
}

int plotAfterDownload(const QCommandLineParser& parser, const QString& csv) {
    return callModule(requestFrom(parser, csv, parser.value(QStringLiteral("plot"))));
}

}  // namespace tavrel::cli
