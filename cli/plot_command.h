#pragma once
// `tavrel-cli plot` and `download --plot`: the chart of a log drawn offscreen into a PNG or SVG
// file.

#include <QCommandLineParser>

namespace tavrel {
class FlexGrid;
}

namespace tavrel::cli {

void addPlotOptions(QCommandLineParser& parser);
// True when the command line wants a chart drawn: the program then needs a GUI application
// (on the offscreen platform) instead of a console one.
bool wantsPlot(int argc, char* argv[]);
// tavrel-cli plot CSV ...: 0 written, 3 the image could not be written, 64 usage or not a log.
int runPlotCommand(const QCommandLineParser& parser, const QString& csv);
// After a download: the chart of the records grid into `file`; 0 written, 3 not.
int plotGrid(const QCommandLineParser& parser, const FlexGrid& grid, const QString& file);

}  // namespace tavrel::cli
