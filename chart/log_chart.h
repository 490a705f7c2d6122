#pragma once
// The chart on screen: the picture (chart_picture.h) in a widget that zooms with the wheel, the
// keyboard (+ - arrows Home) and a box dragged with Shift (or in box mode), pans with a drag,
// shows a cursor line under the mouse and pins one with a click (the read-out then gives the
// differences), and shows or hides a channel by its legend entry. Its window adds the controls,
// the read-out and the figures of the range shown.

#include <QWidget>
#include <functional>
#include <optional>

#include "chart_picture.h"
#include "log_table.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QMenu;
class QTableWidget;

namespace tavrel {

class LogChart final : public QWidget {
    Q_OBJECT
  public:
    explicit LogChart(QWidget* parent = nullptr);
    ChartPicture& picture() { return picture_; }
    const ChartData& data() const { return picture_.data(); }

    void setData(ChartData data);
    void setChannelVisible(int channel, bool visible);
    bool channelVisible(int channel) const { return picture_.channelVisible(channel); }
    void setRange(qint64 from, qint64 to);
    qint64 rangeFrom() const { return picture_.from(); }
    qint64 rangeTo() const { return picture_.to(); }
    void resetZoom();
    void zoomAt(double x, double factor);
    void panBy(double dx);
    // A plain drag draws a zoom box instead of panning.
    void setBoxMode(bool on) { boxMode_ = on; }
    // The pinned cursor (a click), or none.
    void pinCursor(std::optional<double> t);
    // Lays the picture out for the widget's size now (a chart never shown has had no paint).
    void layOut();
    // Shows a change made to the picture itself (mode, lanes, lock).
    void refresh();

  signals:
    void readout(const QString& text);
    void rangeChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void showReadout(double x);

    ChartPicture picture_;
    bool boxMode_ = false;
    std::optional<qint64> pinned_;
    enum class Drag { None, Pan, Box } drag_ = Drag::None;
    QPointF pressAt_;
    double dragX_ = 0;
    double boxTo_ = 0;
    bool panPending_ = false;
    double pendingPan_ = 0;
};

// "file.png" for "file" and the PNG filter: a name given without the chosen type's suffix.
QString withSuffix(const QString& name, const QString& filter);

// The chart's own window, opened from the records grid: the controls, the chart, the read-out
// and the lowest, highest and mean of each visible channel over the range shown.
class ChartWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit ChartWindow(QWidget* parent = nullptr);
    LogChart* chart() { return chart_; }
    // Shows only `channel` (0-based) when it is 0 or more, all channels otherwise; `subject`
    // names the file or the download.
    void setLog(const LogTable& table, int channel = -1, const QString& subject = QString());
    // The records of the range on screen, the visible channels only, as a CSV the tool reads.
    bool exportShownRange(const QString& name, QString* error) const;
    void setMode(ChartMode mode);
    // Gives a channel a lane of its own (or back to its unit's), remembered by caption.
    void setOwnLane(int channel, bool own);
    QTableWidget* statsTable() { return stats_; }
    QLabel* readoutLabel() { return readout_; }
    // The chart's context menu: each channel's lane, the export, the picture and the print.
    void fillMenu(QMenu* menu);
    // The save and print dialogs; tests put their own answers in.
    std::function<QString(const QString& title, const QString& proposed, const QString& filters,
                          QString* chosenFilter)>
        saveDialog;
    void saveImage();
    void askExport();
    void print();

  protected:
    // A language chosen in the main window reaches an open chart at once.
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    void showStats();
    void remember();
    void warn(const QString& title, const QString& text);

    LogTable table_;
    LogChart* chart_;
    QComboBox* mode_;
    QCheckBox* lock_;
    QCheckBox* box_;
    QPushButton* reset_;
    QPushButton* save_;
    QPushButton* export_;
    QPushButton* print_;
    QLabel* readout_;
    QTableWidget* stats_;
    ChartChoices choices_;
};

}  // namespace tavrel
