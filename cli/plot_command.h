#pragma once
// `tavrel-cli plot` and `download --plot`: the chart of a log drawn offscreen into a PNG or SVG
// file by the plot module, loaded only for such a run.

#include <QCommandLineParser>

class QCoreApplication;

namespace tavrel::cli {

void addPlotOptions(QCommandLineParser& parser);
// True when the command line wants a chart drawn.
bool wantsPlot(int argc, char* argv[]);
// Loads the plot module and makes the application object it needs (a GUI one, offscreen);
// nullptr with `error` when the module cannot be loaded.
QCoreApplication* plotApplication(int& argc, char* argv[], QString* error);
// tavrel-cli plot CSV ...: 0 written, 3 the image could not be written, 64 usage or not a log.
int runPlotCommand(const QCommandLineParser& parser, const QString& csv);
// After a download: the chart of the CSV just written into the --plot file; 0 written, 3 not.
int plotAfterDownload(const QCommandLineParser& parser, const QString& csv);

}  // namespace tavrel::cli
