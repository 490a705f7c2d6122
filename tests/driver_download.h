#pragma once
// A whole download through the driver the window uses, from the simulated instrument on the
// virtual clock, into a CSV file (and the grid, when one is given).

#include <QDate>

#include "download_driver.h"
#include "sim_rig.h"

namespace tavrel::test {

struct QuietDownloadView : DownloadView {
    void setDownloadStatus(const QString&) override {}
    void setProgress(float) override {}
    void setCountText(int, const QString&) override {}
    void setDownloadEnabled(bool) override {}
};

// The driver's result (0 "Finished. Data in File").
inline int driverDownload(const sim::SimulatedLineOptions& options, QDate today, const QString& csv,
                          FlexGrid* grid = nullptr) {
    SimRig rig(options);
    rig.clock = VirtualClock(12 * 3600.0, today);
    rig.state.DownloadSaveFile = csv;
    FlexGrid own(kRecordsGridRows, kRecordsGridCols);
    QuietDownloadView view;
    DownloadDriver driver(rig.link, grid != nullptr ? *grid : own, view);
    return driver.onDownloadClicked();
}

}  // namespace tavrel::test
