#pragma once
// The picture of a downloaded log: one line per channel over a time axis ticked on round times,
// a value axis on each side (channels share one by their unit; the user may move a channel to
// either side or to a scale of its own, remembered by caption), a legend that shows and hides
// channels, wheel zoom and drag to pan along the time axis, a read-out of the time and values under
// the mouse, and the breaks where the log's time steps back marked. Only what fits the pixels is
// drawn (decimated again whenever the visible range changes), so a full log pans smoothly.

#include <QChartView>
#include <QDateTime>
#include <QHash>
#include <QWidget>

#include "chart_data.h"

class QLabel;
class QCheckBox;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QCategoryAxis;
class QMenu;
class QTableWidget;

namespace tavrel {

// Where a channel's line is scaled: by its unit, on the left or right value axis, or on its own
// 0..1 scale (its lowest to its highest).
enum class Placement { Automatic, Left, Right, Own };

// The choices by caption, kept in a file of "caption<TAB>left|right|own" lines. A missing file
// is no choice made; an unreadable line is skipped.
QHash<QString, Placement> loadPlacements(const QString& file);
bool savePlacements(const QString& file, const QHash<QString, Placement>& placements,
                    QString* error);
// Where the window and tavrel-cli plot keep them: beside the settings file.
QString placementsFile();

class LogChart final : public QChartView {
    Q_OBJECT
  public:
    explicit LogChart(QWidget* parent = nullptr);

    void setData(ChartData data);
    // What the chart shows (a file or a meter); the title adds the range on screen.
    void setSubject(const QString& subject);
    const ChartData& data() const { return data_; }
    // Each channel scaled to its own lowest..highest on one 0..1 axis.
    void setNormalised(bool normalised);
    bool normalised() const { return normalised_; }
    void setPlacements(const QHash<QString, Placement>& placements);
    const QHash<QString, Placement>& placements() const { return placements_; }
    Placement placement(int channel) const;
    void setPlacement(int channel, Placement placement);
    void setChannelVisible(int channel, bool visible);
    bool channelVisible(int channel) const;
    // The visible time range, in msecs since the epoch.
    void setRange(qint64 from, qint64 to);
    qint64 rangeFrom() const { return from_; }
    qint64 rangeTo() const { return to_; }
    void resetZoom();
    // Zooms the time axis by `factor` (> 1 in) around the time at `x` pixels of the plot area.
    void zoomAt(double x, double factor);
    // Pans the time axis by `dx` pixels (positive: later times come into view).
    void panBy(double dx);
    // What the read-out shows for the time at `x` pixels of the plot area.
    QString readoutAt(double x) const;
    // PNG, SVG or PDF (one page the chart's shape) by the name's suffix, written whole or not at
    // all.
    bool saveImage(const QString& name, QString* error);
    // The chart drawn into an image of `size` pixels.
    QImage image(QSize size);

  signals:
    void readout(const QString& text);
    void rangeChanged();

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Channel {
        QList<QLineSeries*> runs;
        QScatterSeries* overRange = nullptr;  // marks at the plot's edge
        QValueAxis* axis = nullptr;
        bool visible = true;
    };
    void rebuild();
    void refill();
    void layOut(QSize size);
    double timeAt(double x) const;

    ChartData data_;
    QString subject_;
    QList<Channel> channels_;
    QCategoryAxis* timeAxis_ = nullptr;
    QValueAxis* breakAxis_ = nullptr;
    QValueAxis* ownAxis_ = nullptr;  // the 0..1 scale of the channels placed on their own
    QHash<QString, Placement> placements_;
    bool normalised_ = false;
    qint64 from_ = 0;
    qint64 to_ = 0;
    bool dragging_ = false;
    double dragX_ = 0;
    bool panPending_ = false;
    double pendingPan_ = 0;
};

// The chart's own window, opened from the records grid: the chart, a row of controls, the
// read-out line and the lowest, highest and mean of each channel over the range on screen. Its
// context menu moves a channel between the axes, exports the range shown and prints it.
class ChartWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit ChartWindow(QWidget* parent = nullptr);
    LogChart* chart() { return chart_; }
    // Shows only `channel` (0-based) when it is 0 or more, all channels otherwise.
    void setLog(const LogTable& table, int channel = -1);
    // The records of the range on screen as a CSV the tool reads back.
    bool exportShownRange(const QString& name, QString* error) const;
    // Moves a channel and remembers it for its caption.
    void place(int channel, Placement placement);
    QTableWidget* statsTable() { return stats_; }
    // The chart's context menu: each channel's axis, the export, the picture and the print.
    void fillMenu(QMenu* menu);

  private:
    void showStats();
    void askExport();
    void saveAs(const QString& title, const QString& suggestion, const QString& filter);

    LogTable table_;
    LogChart* chart_;
    QCheckBox* normalised_;
    QLabel* readout_;
    QTableWidget* stats_;
};

// The font of the window's Korean captions, for the chart's texts.
QFont chartFont(int pointSize = 9);

}  // namespace tavrel
