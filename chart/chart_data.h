#pragma once
// The log as lines to draw: per channel the runs of consecutive values (a row without the
// channel's value ends a run, so a gap shows as a gap), on a time axis in milliseconds.
//
// Rows with the same stamp text in a row are one record (a record split over two log blocks
// fills two grid rows). The log carries no year, so every record is dated in the year of the
// download: where the time steps back by most of a year the log crossed New Year, and the
// records before that step are moved back a year. Any other backward step (the instrument's
// clock set back) stays where it is: the runs break there and the step is marked.

#include <QList>
#include <QPointF>
#include <QString>
#include <QVector>
#include <limits>

#include "log_table.h"

namespace tavrel {

// Times are the instrument's wall-clock stamps as msecs since the epoch read as UTC: the log
// knows no time zone and no daylight saving, so neither may its picture.
struct ChannelLine {
    QString caption;
    QString unit;                  // a real unit the caption ends with ("m3/h"), or empty
    QList<QVector<QPointF>> runs;  // x: the stamp (see above), y: value
    // The instrument's over-range marks (1E+37 above, -1E+37 and -1E-37 below): no values, so
    // they never stretch an axis; x, and y the mark as logged (its sign says the edge).
    QVector<QPointF> overRange;
    double min = 0;
    double max = 0;
    bool used() const { return !runs.isEmpty() || !overRange.isEmpty(); }
};

struct ChartBreak {
    qint64 msecs = 0;  // where the later records start
    int row = 0;       // 1-based record row of the grid (the CSV's line less one)
    bool newYear = false;
};

struct ChartData {
    QList<ChannelLine> channels;
    QList<ChartBreak> breaks;
    qint64 first = 0;
    qint64 last = 0;
    int records = 0;
    // For each row of the table, the time it was drawn at (New Year moves included), or
    // kNoTime for a row whose stamp could not be read.
    QVector<qint64> rowTimes;
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
};

ChartData buildChartData(const LogTable& table);

// The unit a caption ends with when it is a real one ("Flow m3/h" -> "m3/h"); empty for
// "Flow A" or "Aux 1", whose last word names no unit.
QString unitOf(const QString& caption);

// A value as the CSV writes it (seven significant digits: 1104962, .5, 1.234568E+07).
QString chartNumber(double v);

// A stamp (see ChannelLine) as people read it: "2026-03-29 02:30".
QString stampText(qint64 msecs);

// What an over-range mark stands for, for the read-out.
QString overRangeMeaning(double mark);

// Round times for the time axis between `from` and `to` (stamps, see ChannelLine):
// whole minutes, hours, days, Mondays, first days of months or years, the step the smallest of
// the usual ones that gives at most `most` ticks. Labels say as much of the date as the step
// needs.
struct TimeTick {
    qint64 msecs = 0;
    QString label;
};
QList<TimeTick> timeTicks(qint64 from, qint64 to, int most);

// A channel's values over [from, to]: how many, lowest, highest and mean; the over-range marks
// apart.
struct RangeStats {
    int count = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
    int overRange = 0;
};
RangeStats rangeStats(const ChannelLine& line, qint64 from, qint64 to);

// At most two points for each of `columns` equal buckets across [x0, x1]: the lowest and the
// highest point of the bucket, in their order, so no spike is lost however many points share a
// pixel. Points outside the range are dropped except the nearest one on each side (the line runs
// on to the edge).
QVector<QPointF> decimate(const QVector<QPointF>& points, double x0, double x1, int columns);

}  // namespace tavrel
