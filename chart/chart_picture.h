#pragma once
// The picture of a log, drawn by the tool itself with QPainter (Qt Gui alone): the same picture
// in the window, in tavrel-cli plot's PNG, PDF and SVG, and on paper.
//
// Channels of one unit share a scale. A channel whose values span less than a tenth of its
// unit's scale gets a scale of its own (it would lie flat), as does each channel whose caption
// names no unit and each channel the user gave a lane of its own. One or two scales share one
// lane (left and right axis); more are stacked, one lane per scale, over one time axis.
// "Overlay" puts every scale in one lane with their axes side by side; "Normalised" draws each
// channel from its lowest (0) to its highest (1). Each scale's range follows the range shown
// unless the user locks it. Only what fits the pixels is drawn: each channel's points down to
// the lowest and highest of every pixel column, so a full log pans as quickly as a short one.

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSet>
#include <QString>
#include <optional>

#include "chart_data.h"

class QPainter;

namespace tavrel {

enum class ChartMode { Lanes, Overlay, Normalised };

struct Scale {
    QString title;        // the unit, or the caption of a scale's only channel
    QList<int> channels;  // indices into ChartData::channels
};

struct Arrangement {
    QList<Scale> scales;
    QList<QList<int>> lanes;  // top to bottom, each the scales drawn in it
};

// Which visible channels share a scale and which scales share a lane (see above).
Arrangement arrangeChannels(const ChartData& data, const QList<bool>& visible,
                            const QSet<int>& ownLane, ChartMode mode);

// A range people can read over the values lo..hi: a little room above and below, and a band
// around the value of a channel that never changes.
std::pair<double, double> readableRange(double lo, double hi);
// Round values (1, 2 or 5 times a power of ten apart) over lo..hi, `most` steps at most.
QList<double> valueTicks(double lo, double hi, int most);

// The user's choices, kept beside the settings in Tavreldwn.chart: the channels given a lane of
// their own (by caption) and the mode last chosen for a log of the same captions (its shape).
struct ChartChoices {
    QSet<QString> ownLane;
    QHash<QString, ChartMode> modes;  // by shapeOf(captions)
};
QString shapeOf(const QStringList& captions);
ChartChoices loadChartChoices(const QString& file);
bool saveChartChoices(const QString& file, const ChartChoices& choices, QString* error);
QString chartChoicesFile();

// The chart's texts, in the window's Korean font where the system has it.
QFont chartFont(int pixels = 12);
// Each channel's colour, the same in the lines, the legend and the figures.
QColor channelColor(int channel);

class ChartPicture {
    // The chart's words in the window's language (the headless tool's plot keeps them English).
    Q_DECLARE_TR_FUNCTIONS(ChartPicture)

  public:
    static constexpr qint64 kLeastRange = qint64{60} * 1000;  // a minute

    void setData(ChartData data);
    const ChartData& data() const { return data_; }
    void setSubject(const QString& subject) { subject_ = subject; }
    const QString& subject() const { return subject_; }
    void setMode(ChartMode mode);
    ChartMode mode() const { return mode_; }
    void setOwnLane(int channel, bool own);
    bool ownLane(int channel) const { return ownLane_.contains(channel); }
    void setChannelVisible(int channel, bool visible);
    bool channelVisible(int channel) const { return visible_.value(channel, false); }
    const Arrangement& arrangement() const { return arrangement_; }

    // The time range shown: at least a minute, at most the whole log and a margin, never
    // beyond it.
    void setRange(qint64 from, qint64 to);
    qint64 from() const { return from_; }
    qint64 to() const { return to_; }
    std::pair<qint64, qint64> wholeRange() const;
    void resetRange();
    // Zooms by `factor` (> 1 in) around the time at `x`; pans by `dx` pixels (positive: later).
    void zoomAt(double x, double factor);
    void panBy(double dx);
    // Each scale keeps the range it has now, whatever is shown, until unlocked.
    void setYLocked(bool locked);
    bool yLocked() const { return locked_; }

    // Two cursor lines: the pinned one and the one under the mouse (empty: none).
    void setCursors(std::optional<qint64> pinned, std::optional<qint64> moving);

    // Draws the picture into `rect` (logical pixels); the geometry below is of the last paint.
    void paint(QPainter& painter, const QRectF& rect);
    QRectF plotArea() const { return plot_; }
    // The value range scale `scale` of arrangement() was last drawn over.
    std::pair<double, double> scaleRange(int scale) const {
        return {ranges_.value(scale).lo, ranges_.value(scale).hi};
    }
    double timeAt(double x) const;
    double xOf(double t) const;
    // The channel whose legend entry is at `point`, or -1.
    int legendAt(const QPointF& point) const;
    QString title() const;

    // The record nearest to `t` among the visible channels (its stamp), if any.
    std::optional<qint64> nearestRecord(double t) const;
    // The stamp and every visible channel's value at the record nearest to `t`: two records of
    // one stamp (the clock set back) both, a missing value as missing, over range with its
    // meaning.
    QString readoutAt(double t) const;
    // From the record nearest to `a` to the one nearest to `b`: the time between and each
    // visible channel's change.
    QString differences(double a, double b) const;

    QImage image(QSize size);
    // PNG, PDF (one page the picture's shape) or, where Qt Svg is built in, SVG by the name's
    // suffix; written whole or not at all.
    bool save(const QString& name, QSize size, QString* error);
    // A4 landscape: title, subject, range, the picture and each visible channel's figures over
    // the range shown.
    void paintReport(QPainter& painter, const QRectF& page);
    bool saveReport(const QString& name, QString* error);

  private:
    struct ScaleRange {
        double lo = 0;
        double hi = 1;
        QList<double> ticks;  // the round values its axis labels
        double labels = 0;    // the widest label's width
    };
    void arrange();
    std::pair<double, double> shownRange(int channel) const;
    void paintScaleAxis(QPainter& p, const QRectF& lane, int scale, double x, bool left) const;
    double yOf(int channel, double v, const QRectF& lane) const;

    ChartData data_;
    QString subject_;
    ChartMode mode_ = ChartMode::Lanes;
    QSet<int> ownLane_;
    QList<bool> visible_;
    Arrangement arrangement_;
    qint64 from_ = 0;
    qint64 to_ = kLeastRange;
    bool locked_ = false;
    QHash<int, std::pair<double, double>> lockedRanges_;  // by channel
    std::optional<qint64> pinned_;
    std::optional<qint64> moving_;
    // The last paint's geometry.
    QRectF plot_;
    QList<QRectF> laneAreas_;
    QList<ScaleRange> ranges_;                        // by scale
    QList<std::pair<double, double>> channelRanges_;  // by channel, what its scale maps
    QList<std::pair<QRectF, int>> legend_;
};

}  // namespace tavrel
