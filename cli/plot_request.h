#pragma once
// What tavrel-cli asks of its plot module (tavrel-plot, loaded only when a chart is drawn, so
// a plain download never loads the GUI and chart libraries).

#include <QString>

class QCoreApplication;

namespace tavrel::cli {

struct PlotRequest {
    QString csv;                       // a CSV the tool wrote
    QString out;                       // .png or .svg
    QString channels, from, to, size;  // the options as given; empty = not given
};

// The module's two entry points, looked up by these names.
using PlotApplicationFn = QCoreApplication* (*)(int* argc, char** argv);
using PlotFn = int (*)(const PlotRequest* request);
inline constexpr const char* kPlotApplicationSymbol = "tavrelPlotApplication";
inline constexpr const char* kPlotSymbol = "tavrelPlot";

}  // namespace tavrel::cli
