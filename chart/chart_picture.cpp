#include "chart_picture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#ifdef TAVREL_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "whole_file.h"

namespace tavrel {

namespace {

const QColor kColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                          QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                          QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
const QColor kGrid(0xe4, 0xe4, 0xe4);
const QColor kInk(0x30, 0x30, 0x30);
constexpr double kMargin = 8;
constexpr double kLaneGap = 10;
constexpr double kMark = 5;  // half the width of an over-range mark

QColor colorOf(int channel) { return channelColor(channel); }

// The points of `points` (sorted by x) from x0 to x1.
std::pair<const QPointF*, const QPointF*> within(const QVector<QPointF>& points, double x0,
                                                 double x1) {
    const QPointF* begin = points.constData();
    const QPointF* end = begin + points.size();
    const QPointF* b =
        std::lower_bound(begin, end, x0, [](const QPointF& p, double x) { return p.x() < x; });
    const QPointF* e =
        std::upper_bound(b, end, x1, [](double x, const QPointF& p) { return x < p.x(); });
    return {b, e};
}

// Every value a channel holds at exactly `t`, in the log's order; over-range marks by meaning.
QStringList valuesAt(const ChannelLine& line, double t, QList<double>* numbers = nullptr) {
    QStringList out;
    for (const QVector<QPointF>& run : line.runs) {
        const auto [b, e] = within(run, t, t);
        for (const QPointF* p = b; p != e; ++p) {
            out.append(chartNumber(p->y()));
            if (numbers != nullptr) numbers->append(p->y());
        }
    }
    const auto [b, e] = within(line.overRange, t, t);
    for (const QPointF* p = b; p != e; ++p) out.append(overRangeMeaning(p->y()));
    return out;
}

QString duration(qint64 ms) {
    const qint64 minutes = std::llabs(ms) / 60000;
    QStringList parts;
    if (minutes >= 1440) parts << ChartPicture::tr("%1 d").arg(minutes / 1440);
    if (minutes % 1440 >= 60) parts << ChartPicture::tr("%1 h").arg(minutes % 1440 / 60);
    if (minutes % 60 != 0 || parts.isEmpty()) parts << ChartPicture::tr("%1 min").arg(minutes % 60);
    return (ms < 0 ? QStringLiteral("-") : QStringLiteral("+")) + parts.join(u' ');
}

void drawMark(QPainter& p, QPointF at, bool up, const QColor& color) {
    // A triangle pointing out of the lane at the edge the value went past.
    const double s = up ? -1 : 1;
    const QPointF points[] = {at + QPointF(0, s * kMark * 1.6), at + QPointF(-kMark, 0),
                              at + QPointF(kMark, 0)};
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(color);
    p.drawPolygon(points, 3);
}

}  // namespace

Arrangement arrangeChannels(const ChartData& data, const QList<bool>& visible,
                            const QSet<int>& ownLane, ChartMode mode) {
    Arrangement out;
    QList<int> shown;
    for (int k = 0; k < data.channels.size(); ++k)
        if (data.channels[k].used() && visible.value(k, false)) shown.append(k);
    if (shown.isEmpty()) return out;
    if (mode == ChartMode::Normalised) {
        out.scales.append({ChartPicture::tr("0 = lowest, 1 = highest"), shown});
        out.lanes.append(QList<int>{0});
        return out;
    }
    // Channels of one unit together, in the order their units first appear.
    QList<QList<int>> groups;
    QStringList units;
    for (const int k : shown) {
        const QString& unit = data.channels[k].unit;
        if (unit.isEmpty() || ownLane.contains(k)) {
            groups.append(QList<int>{k});
            units.append(QString());
            continue;
        }
        const qsizetype g = units.indexOf(unit);
        if (g >= 0) {
            groups[g].append(k);
        } else {
            groups.append(QList<int>{k});
            units.append(unit);
        }
    }
    const auto span = [&](int k) { return data.channels[k].max - data.channels[k].min; };
    for (qsizetype g = 0; g < groups.size(); ++g) {
        double lo = data.channels[groups[g][0]].min;
        double hi = data.channels[groups[g][0]].max;
        for (const int k : groups[g]) {
            lo = std::min(lo, data.channels[k].min);
            hi = std::max(hi, data.channels[k].max);
        }
        QList<int> shared;
        QList<int> apart;  // would lie flat on the shared scale
        for (const int k : groups[g]) (span(k) < (hi - lo) / 10 ? apart : shared).append(k);
        const auto titled = [&](const QList<int>& channels) {
            return Scale{
                channels.size() == 1 ? data.channels[channels[0]].caption.trimmed() : units[g],
                channels};
        };
        if (!shared.isEmpty()) out.scales.append(titled(shared));
        for (const int k : apart) out.scales.append(titled({k}));
    }
    if (mode == ChartMode::Overlay || out.scales.size() <= 2) {
        out.lanes.append(QList<int>());
        for (int s = 0; s < out.scales.size(); ++s) out.lanes[0].append(s);
    } else {
        for (int s = 0; s < out.scales.size(); ++s) out.lanes.append(QList<int>{s});
    }
    return out;
}

std::pair<double, double> readableRange(double lo, double hi) {
    if (!(hi > lo)) {
        const double pad = lo != 0 ? std::fabs(lo) * 0.1 : 1.0;
        return {lo - pad, hi + pad};
    }
    const double pad = (hi - lo) * 0.05;
    return {lo - pad, hi + pad};
}

QList<double> valueTicks(double lo, double hi, int most) {
    QList<double> ticks;
    if (!(hi > lo) || most < 1) return ticks;
    const double raw = (hi - lo) / most;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    int mantissa = 10;  // the step is mantissa * power, mantissa 1, 2 or 5
    for (const int m : {1, 2, 5}) {
        if (m * power >= raw) {
            mantissa = m;
            break;
        }
    }
    // A short lane may fit one round value of that step: a finer step or two gives two.
    for (int finer = 0; finer < 3; ++finer) {
        const double step = mantissa * power;
        ticks.clear();
        // Whole multiples of the step, so 0.1 + 0.2 never shows as 0.30000000000000004.
        for (auto n = static_cast<long long>(std::ceil(lo / step)); n * step <= hi; ++n)
            ticks.append(static_cast<double>(n) * step);
        if (ticks.size() >= 2) return ticks;
        if (mantissa == 1) {
            mantissa = 5;
            power /= 10;
        } else {
            mantissa = mantissa == 10 ? 5 : mantissa == 5 ? 2 : 1;
        }
    }
    return ticks;
}

QColor channelColor(int channel) {
    return kColors[static_cast<std::size_t>(channel) % std::size(kColors)];
}

QString shapeOf(const QStringList& captions) {
    QStringList trimmed;
    for (const QString& c : captions) trimmed.append(c.trimmed());
    return trimmed.join(u'\t');
}

namespace {
const std::pair<ChartMode, const char*> kModeWords[] = {{ChartMode::Lanes, "lanes"},
                                                        {ChartMode::Overlay, "overlay"},
                                                        {ChartMode::Normalised, "normalised"}};
}  // namespace

// "caption<TAB>own" for a lane of its own, "view<TAB>mode<TAB>caption<TAB>caption..." for a
// log shape's mode. Other lines (older choices of an axis side) are skipped.
ChartChoices loadChartChoices(const QString& file) {
    ChartChoices out;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& raw : in.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(raw).remove(u'\r').split(u'\t');
        if (fields.size() == 2 && fields[1] == QLatin1String("own")) {
            out.ownLane.insert(fields[0].trimmed());
        } else if (fields.size() >= 3 && fields[0] == QLatin1String("view")) {
            for (const auto& [mode, word] : kModeWords)
                if (fields[1] == QLatin1String(word))
                    out.modes.insert(shapeOf(fields.mid(2)), mode);
        }
    }
    return out;
}

bool saveChartChoices(const QString& file, const ChartChoices& choices, QString* error) {
    QStringList lines;
    for (const QString& caption : choices.ownLane) lines.append(caption + QStringLiteral("\town"));
    for (auto it = choices.modes.begin(); it != choices.modes.end(); ++it)
        for (const auto& [mode, word] : kModeWords)
            if (it.value() == mode)
                lines.append(QStringLiteral("view\t%1\t%2").arg(QLatin1String(word), it.key()));
    lines.sort();
    QByteArray out;
    for (const QString& line : lines) out += line.toUtf8() + '\n';
    return writeWholeFile(file, out, error);
}

QString chartChoicesFile() { return QStringLiteral("Tavreldwn.chart"); }

QFont chartFont(int pixels) {
    // The window's Korean font where it exists; Linux's Korean font else, then whatever the
    // system draws with.
    static const QString family = [] {
        const QStringList have = QFontDatabase::families();
        for (const QString& name :
             {QStringLiteral("굴림"), QStringLiteral("Gulim"), QStringLiteral("NanumGothic")})
            if (have.contains(name)) return name;
        return QGuiApplication::font().family();
    }();
    QFont font(family);
    font.setPixelSize(pixels);  // the same size on screen, in an image, a PDF and on paper
    return font;
}

void ChartPicture::setData(ChartData data) {
    data_ = std::move(data);
    visible_ = QList<bool>(data_.channels.size(), true);
    lockedRanges_.clear();
    arrange();
    resetRange();
}

void ChartPicture::setMode(ChartMode mode) {
    mode_ = mode;
    lockedRanges_.clear();
    locked_ = false;
    arrange();
}

void ChartPicture::setOwnLane(int channel, bool own) {
    if (own) {
        ownLane_.insert(channel);
    } else {
        ownLane_.remove(channel);
    }
    arrange();
}

void ChartPicture::setChannelVisible(int channel, bool visible) {
    if (channel < 0 || channel >= visible_.size()) return;
    visible_[channel] = visible;
    arrange();
}

void ChartPicture::arrange() { arrangement_ = arrangeChannels(data_, visible_, ownLane_, mode_); }

std::pair<qint64, qint64> ChartPicture::wholeRange() const {
    const qint64 span = data_.last - data_.first;
    const qint64 margin = std::max(span / 50, kLeastRange / 2);
    return {data_.first - margin, data_.last + margin};
}

void ChartPicture::setRange(qint64 from, qint64 to) {
    const auto [lo, hi] = wholeRange();
    const qint64 span = std::clamp(to - from, kLeastRange, hi - lo);
    from_ = std::clamp(from + (to - from - span) / 2, lo, hi - span);
    to_ = from_ + span;
}

void ChartPicture::resetRange() {
    const auto [lo, hi] = wholeRange();
    setRange(lo, hi);
}

double ChartPicture::timeAt(double x) const {
    const double share = plot_.width() > 0 ? (x - plot_.left()) / plot_.width() : 0.5;
    return static_cast<double>(from_) + share * static_cast<double>(to_ - from_);
}

double ChartPicture::xOf(double t) const {
    return plot_.left() +
           (t - static_cast<double>(from_)) / static_cast<double>(to_ - from_) * plot_.width();
}

void ChartPicture::zoomAt(double x, double factor) {
    // The time under `x` stays under it, within the range's limits.
    const double t = timeAt(x);
    const auto [lo, hi] = wholeRange();
    const double span = std::clamp(static_cast<double>(to_ - from_) / factor,
                                   static_cast<double>(kLeastRange), static_cast<double>(hi - lo));
    const double share = (t - static_cast<double>(from_)) / static_cast<double>(to_ - from_);
    const auto from = static_cast<qint64>(t - share * span);
    setRange(from, from + static_cast<qint64>(span));
}

void ChartPicture::panBy(double dx) {
    if (plot_.width() <= 0) return;
    const auto dt = static_cast<qint64>(dx / plot_.width() * static_cast<double>(to_ - from_));
    setRange(from_ + dt, to_ + dt);
}

void ChartPicture::setYLocked(bool locked) {
    lockedRanges_.clear();
    if (locked)
        for (int k = 0; k < data_.channels.size(); ++k) lockedRanges_.insert(k, shownRange(k));
    locked_ = locked;
}

void ChartPicture::setCursors(std::optional<qint64> pinned, std::optional<qint64> moving) {
    pinned_ = pinned;
    moving_ = moving;
}

std::pair<double, double> ChartPicture::shownRange(int k) const {
    if (locked_ && lockedRanges_.contains(k)) return lockedRanges_.value(k);
    const ChannelLine& line = data_.channels[k];
    double lo = 0;
    double hi = 0;
    bool any = false;
    for (const QVector<QPointF>& run : line.runs) {
        const auto [b, e] = within(run, static_cast<double>(from_), static_cast<double>(to_));
        for (const QPointF* p = b; p != e; ++p) {
            lo = any ? std::min(lo, p->y()) : p->y();
            hi = any ? std::max(hi, p->y()) : p->y();
            any = true;
        }
    }
    if (!any) return {line.min, line.max};  // nothing shown: the whole log's, so the lane holds
    return {lo, hi};
}

double ChartPicture::yOf(int channel, double v, const QRectF& lane) const {
    const auto [lo, hi] = channelRanges_.value(channel, {0.0, 1.0});
    return lane.bottom() - (v - lo) / (hi - lo) * lane.height();
}

QString ChartPicture::title() const {
    return (subject_.isEmpty() ? QString() : subject_ + QStringLiteral(": ")) + stampText(from_) +
           QStringLiteral(" – ") + stampText(to_);
}

int ChartPicture::legendAt(const QPointF& point) const {
    for (const auto& [rect, channel] : legend_)
        if (rect.contains(point)) return channel;
    return -1;
}

void ChartPicture::paintScaleAxis(QPainter& p, const QRectF& lane, int scale, double x,
                                  bool left) const {
    const Scale& s = arrangement_.scales[scale];
    const ScaleRange& r = ranges_[scale];
    const QFont font = chartFont(11);
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(x, lane.top()), QPointF(x, lane.bottom()));
    const double dir = left ? -1 : 1;
    for (const double v : r.ticks) {
        const double y = lane.bottom() - (v - r.lo) / (r.hi - r.lo) * lane.height();
        const QString label = QString::number(v, 'g', 7);
        p.drawLine(QPointF(x, y), QPointF(x + dir * 4, y));
        const QRectF box(left ? x - 6 - 200 : x + 6, y - fm.height() / 2, 200, fm.height());
        p.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
    }
    // The title along the axis, in the channel's colour when the scale is one channel's.
    p.save();
    p.setPen(s.channels.size() == 1 && mode_ != ChartMode::Normalised ? colorOf(s.channels[0])
                                                                      : kInk);
    const double tx = x + dir * (r.labels + 8 + fm.height() / 2);
    p.translate(tx, lane.center().y());
    p.rotate(left ? -90 : 90);
    p.drawText(QRectF(-lane.height() / 2, -fm.height() / 2, lane.height(), fm.height()),
               Qt::AlignCenter, fm.elidedText(s.title, Qt::ElideRight, lane.height()));
    p.restore();
}

void ChartPicture::paint(QPainter& p, const QRectF& rect) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect, Qt::white);
    const QFont font = chartFont(12);
    const QFontMetricsF fm(font);
    const QFontMetricsF small(chartFont(11));
    QFont bold = chartFont(13);
    bold.setBold(true);
    double top = rect.top() + 6;
    p.setFont(bold);
    p.setPen(kInk);
    const QFontMetricsF fb(bold);
    p.drawText(QRectF(rect.left() + kMargin, top, rect.width() - 2 * kMargin, fb.height()),
               Qt::AlignHCenter, fb.elidedText(title(), Qt::ElideMiddle, rect.width()));
    top += fb.height() + 4;

    // The legend: every caption whole, rows as many as they need; hidden channels greyed.
    legend_.clear();
    p.setFont(font);
    double x = rect.left() + kMargin;
    const double row = fm.height() + 3;
    bool marks = false;
    for (int k = 0; k < data_.channels.size(); ++k)
        marks = marks || (channelVisible(k) && !data_.channels[k].overRange.isEmpty());
    const auto entry = [&](const QString& text, int channel, auto&& swatch) {
        const double w = 22 + fm.horizontalAdvance(text) + 14;
        if (x + w > rect.right() - kMargin && x > rect.left() + kMargin) {
            x = rect.left() + kMargin;
            top += row;
        }
        const QRectF box(x, top, w, row);
        swatch(QPointF(x + 9, top + row / 2));
        p.setPen(channel < 0 || channelVisible(channel) ? kInk : Qt::gray);
        p.drawText(QRectF(x + 22, top, w - 22, row), Qt::AlignLeft | Qt::AlignVCenter, text);
        if (channel >= 0) legend_.append({box, channel});
        x += w;
    };
    for (int k = 0; k < data_.channels.size(); ++k) {
        if (!data_.channels[k].used()) continue;
        entry(data_.channels[k].caption.trimmed(), k, [&](QPointF at) {
            p.setPen(QPen(channelVisible(k) ? colorOf(k) : Qt::lightGray, 3));
            p.drawLine(at - QPointF(8, 0), at + QPointF(8, 0));
        });
    }
    if (marks)
        entry(tr("over range"), -1, [&](QPointF at) {
            drawMark(p, at + QPointF(-4, -1), true, Qt::lightGray);
            drawMark(p, at + QPointF(4, 1), false, Qt::lightGray);
        });
    if (!data_.breaks.isEmpty())
        entry(tr("time steps back"), -1, [&](QPointF at) {
            p.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
            p.drawLine(at - QPointF(0, 6), at + QPointF(0, 6));
        });
    top += row + 4;

    // Lanes, top to bottom, above one time axis.
    const double bottom = rect.bottom() - fm.height() - 10;
    const auto lanes = static_cast<int>(arrangement_.lanes.size());
    const double laneHeight =
        std::max(20.0, (bottom - top - kLaneGap * std::max(0, lanes - 1)) / std::max(1, lanes));
    ranges_ = QList<ScaleRange>(arrangement_.scales.size());
    channelRanges_ = QList<std::pair<double, double>>(data_.channels.size(), {0.0, 1.0});
    QList<double> axisWidth(arrangement_.scales.size(), 0);
    for (int s = 0; s < arrangement_.scales.size(); ++s) {
        const QList<int>& channels = arrangement_.scales[s].channels;
        if (mode_ == ChartMode::Normalised) {
            for (const int k : channels) {
                auto [lo, hi] = shownRange(k);
                const double pad = hi > lo ? (hi - lo) * 0.05 : 1.0;
                channelRanges_[k] = {lo - pad, hi + pad};
                if (!(hi > lo)) channelRanges_[k] = {lo - 1, lo + 1};
            }
            ranges_[s] = {-0.05, 1.05, {}, 0};
        } else {
            auto [lo, hi] = shownRange(channels[0]);
            for (const int k : channels) {
                const auto [l, h] = shownRange(k);
                lo = std::min(lo, l);
                hi = std::max(hi, h);
            }
            const auto [rlo, rhi] = readableRange(lo, hi);
            ranges_[s] = {rlo, rhi, {}, 0};
            for (const int k : channels) channelRanges_[k] = {rlo, rhi};
        }
        ScaleRange& r = ranges_[s];
        r.ticks = valueTicks(r.lo, r.hi, std::max(3, static_cast<int>(laneHeight / 18)));
        for (const double v : r.ticks)
            r.labels = std::max(r.labels, small.horizontalAdvance(QString::number(v, 'g', 7)));
        axisWidth[s] = r.labels + 14 + small.height();
    }
    double leftWidth = 0;
    double rightWidth = 0;
    for (const QList<int>& lane : arrangement_.lanes) {
        double l = 0;
        double r = 0;
        for (qsizetype i = 0; i < lane.size(); ++i) (i % 2 == 0 ? l : r) += axisWidth[lane[i]];
        leftWidth = std::max(leftWidth, l);
        rightWidth = std::max(rightWidth, r);
    }
    plot_ =
        QRectF(rect.left() + kMargin + std::max(leftWidth, 30.0), top,
               rect.width() - 2 * kMargin - std::max(leftWidth, 30.0) - std::max(rightWidth, 30.0),
               std::max(20.0, bottom - top));
    laneAreas_.clear();
    for (int i = 0; i < lanes; ++i)
        laneAreas_.append(
            QRectF(plot_.left(), top + i * (laneHeight + kLaneGap), plot_.width(), laneHeight));
    if (lanes == 0) laneAreas_.append(plot_);

    const QList<TimeTick> ticks =
        timeTicks(from_, to_, std::max(2, static_cast<int>(plot_.width() / 110)));
    for (int i = 0; i < laneAreas_.size(); ++i) {
        const QRectF& area = laneAreas_[i];
        p.setPen(QPen(kGrid, 1));
        for (const TimeTick& tick : ticks) {
            const double tx = xOf(static_cast<double>(tick.msecs));
            p.drawLine(QPointF(tx, area.top()), QPointF(tx, area.bottom()));
        }
        if (i < lanes && !arrangement_.lanes[i].isEmpty()) {
            const int first = arrangement_.lanes[i][0];
            const ScaleRange& r = ranges_[first];
            for (const double v : r.ticks) {
                const double y = area.bottom() - (v - r.lo) / (r.hi - r.lo) * area.height();
                p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            }
            double leftAt = area.left();
            double rightAt = area.right();
            for (qsizetype n = 0; n < arrangement_.lanes[i].size(); ++n) {
                const int s = arrangement_.lanes[i][n];
                const bool left = n % 2 == 0;
                paintScaleAxis(p, area, s, left ? leftAt : rightAt, left);
                (left ? leftAt : rightAt) += (left ? -1 : 1) * axisWidth[s];
            }
        }
        p.setPen(QPen(Qt::gray, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(area);
    }
    if (lanes == 0) {
        p.setPen(Qt::gray);
        p.drawText(plot_, Qt::AlignCenter, tr("No channel shown: click a caption above"));
    }

    // The lines: each visible channel's runs, a pixel column down to its lowest and highest.
    const auto columns = std::max(1, static_cast<int>(plot_.width()));
    for (int i = 0; i < lanes; ++i) {
        const QRectF& area = laneAreas_[i];
        p.save();
        p.setClipRect(area.adjusted(-1, -kMark * 2, 1, kMark * 2));
        for (const int s : arrangement_.lanes[i]) {
            for (const int k : arrangement_.scales[s].channels) {
                const ChannelLine& line = data_.channels[k];
                // A one-pixel cosmetic pen takes the painter's quick path: no stroker, no
                // joins, however many pixel columns the line zigzags through.
                QPen pen(colorOf(k), 1);
                pen.setCosmetic(true);
                p.setPen(pen);
                p.setBrush(colorOf(k));
                for (const QVector<QPointF>& run : line.runs) {
                    if (run.last().x() < static_cast<double>(from_) ||
                        run.first().x() > static_cast<double>(to_))
                        continue;
                    if (run.size() == 1) {  // a record on its own: a point
                        p.drawEllipse(QPointF(xOf(run[0].x()), yOf(k, run[0].y(), area)), 2.5, 2.5);
                        continue;
                    }
                    const QVector<QPointF> points = decimate(run, static_cast<double>(from_),
                                                             static_cast<double>(to_), columns);
                    QPolygonF poly;
                    poly.reserve(points.size());
                    for (const QPointF& pt : points)
                        poly.append(QPointF(xOf(pt.x()), yOf(k, pt.y(), area)));
                    p.drawPolyline(poly);
                }
                double lastX = -1e9;
                const auto [b, e] =
                    within(line.overRange, static_cast<double>(from_), static_cast<double>(to_));
                for (const QPointF* m = b; m != e; ++m) {
                    const double mx = xOf(m->x());
                    if (mx - lastX < 2) continue;  // one mark a pixel column is enough
                    lastX = mx;
                    const bool up = m->y() > 0;
                    drawMark(
                        p, QPointF(mx, up ? area.top() + kMark * 1.6 : area.bottom() - kMark * 1.6),
                        up, colorOf(k));
                }
            }
        }
        p.restore();
    }

    // Where the time steps back, and the cursors, across every lane.
    const auto across = [&](double t, const QPen& pen) {
        if (t < static_cast<double>(from_) || t > static_cast<double>(to_)) return;
        p.setPen(pen);
        p.drawLine(QPointF(xOf(t), plot_.top()), QPointF(xOf(t), laneAreas_.last().bottom()));
    };
    for (const ChartBreak& b : data_.breaks)
        across(static_cast<double>(b.msecs), QPen(Qt::darkGray, 1, Qt::DashLine));
    if (pinned_) across(static_cast<double>(*pinned_), QPen(kInk, 1.2));
    if (moving_) across(static_cast<double>(*moving_), QPen(Qt::gray, 1, Qt::DashLine));

    // The time axis: round times, labels that do not overlap.
    const double axisY = laneAreas_.last().bottom();
    p.setFont(chartFont(11));
    double free = rect.left();
    for (const TimeTick& tick : ticks) {
        const double tx = xOf(static_cast<double>(tick.msecs));
        p.setPen(QPen(kInk, 1));
        p.drawLine(QPointF(tx, axisY), QPointF(tx, axisY + 4));
        const double w = small.horizontalAdvance(tick.label);
        if (tx - w / 2 < free || tx + w / 2 > rect.right()) continue;
        p.drawText(QRectF(tx - w / 2 - 2, axisY + 5, w + 4, small.height()), Qt::AlignCenter,
                   tick.label);
        free = tx + w / 2 + 8;
    }
    p.restore();
}

std::optional<qint64> ChartPicture::nearestRecord(double t) const {
    std::optional<double> best;
    const auto nearest = [&](const QVector<QPointF>& points) {
        const auto it = std::lower_bound(points.begin(), points.end(), t,
                                         [](const QPointF& p, double v) { return p.x() < v; });
        for (auto candidate : {it, it == points.begin() ? it : it - 1}) {
            if (candidate == points.end()) continue;
            if (!best || std::fabs(candidate->x() - t) < std::fabs(*best - t))
                best = candidate->x();
        }
    };
    for (int k = 0; k < data_.channels.size(); ++k) {
        if (!channelVisible(k)) continue;
        for (const QVector<QPointF>& run : data_.channels[k].runs) nearest(run);
        nearest(data_.channels[k].overRange);
    }
    if (!best) return std::nullopt;
    return static_cast<qint64>(*best);
}

QString ChartPicture::readoutAt(double t) const {
    const auto at = nearestRecord(t);
    if (!at) return {};
    QString text = stampText(*at);
    for (int k = 0; k < data_.channels.size(); ++k) {
        if (!channelVisible(k) || !data_.channels[k].used()) continue;
        const QStringList values = valuesAt(data_.channels[k], static_cast<double>(*at));
        text += QStringLiteral("   %1: %2")
                    .arg(data_.channels[k].caption.trimmed(),
                         values.isEmpty() ? tr("missing") : values.join(tr(" then ")));
    }
    return text;
}

QString ChartPicture::differences(double a, double b) const {
    const auto from = nearestRecord(a);
    const auto to = nearestRecord(b);
    if (!from || !to) return {};
    QString text =
        QStringLiteral("%1 – %2  %3").arg(stampText(*from), stampText(*to), duration(*to - *from));
    for (int k = 0; k < data_.channels.size(); ++k) {
        if (!channelVisible(k) || !data_.channels[k].used()) continue;
        QList<double> before;
        QList<double> after;
        valuesAt(data_.channels[k], static_cast<double>(*from), &before);
        valuesAt(data_.channels[k], static_cast<double>(*to), &after);
        // Of two records at one stamp, the later one counts.
        QString change = tr("missing");
        if (!before.isEmpty() && !after.isEmpty()) {
            const double d = after.last() - before.last();
            change = (d > 0 ? QStringLiteral("+") : QString()) + chartNumber(d);
        }
        text += QStringLiteral("   %1: %2").arg(data_.channels[k].caption.trimmed(), change);
    }
    return text;
}

QImage ChartPicture::image(QSize size) {
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter painter(&out);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return out;
}

bool ChartPicture::save(const QString& name, QSize size, QString* error) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QStringLiteral("png")) {
        if (!image(size).save(&buffer, "PNG")) {
            *error = tr("the image could not be made");
            return false;
        }
    } else if (suffix == QStringLiteral("pdf")) {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(title());
        pdf.setCreator(QStringLiteral("Tavrel"));
        pdf.setResolution(96);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point));
        QPainter painter(&pdf);
        paint(painter, QRectF(0, 0, pdf.width(), pdf.height()));
#ifdef TAVREL_HAVE_SVG
    } else if (suffix == QStringLiteral("svg")) {
        {
            QSvgGenerator svg;
            svg.setOutputDevice(&buffer);
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(0, 0), size));
            svg.setTitle(title());
            QPainter painter(&svg);
            paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
        }
        // The font by name, then any sans-serif face: a viewer without it still draws the text.
        const QByteArray family = "font-family=\"" + chartFont().family().toUtf8() + '"';
        buffer.buffer().replace(
            family, "font-family=\"" + chartFont().family().toUtf8() + ", sans-serif\"");
#endif
    } else {
#ifdef TAVREL_HAVE_SVG
        *error = tr("say .png, .svg or .pdf");
#else
        *error = tr("say .png or .pdf");
#endif
        return false;
    }
    return writeWholeFile(name, buffer.data(), error);
}

void ChartPicture::paintReport(QPainter& p, const QRectF& page) {
    p.save();
    QFont big = chartFont(20);
    big.setBold(true);
    const QFont font = chartFont(12);
    const QFontMetricsF fm(font);
    double y = page.top();
    p.setPen(kInk);
    p.setFont(big);
    p.drawText(QRectF(page.left(), y, page.width(), 30), Qt::AlignLeft | Qt::AlignVCenter,
               tr("Log chart"));
    y += 34;
    p.setFont(font);
    for (const QString& line :
         {tr("File / meter: %1").arg(subject_.isEmpty() ? tr("(the last download)") : subject_),
          tr("Range: %1 – %2").arg(stampText(from_), stampText(to_))}) {
        p.drawText(QRectF(page.left(), y, page.width(), fm.height()), Qt::AlignLeft, line);
        y += fm.height() + 2;
    }
    QList<int> shown;
    for (int k = 0; k < data_.channels.size(); ++k)
        if (channelVisible(k) && data_.channels[k].used()) shown.append(k);
    const double rowHeight = fm.height() + 4;
    const double table = rowHeight * static_cast<double>(shown.size() + 1) + 8;
    const QString subject = subject_;
    subject_.clear();  // said above; the chart's own title keeps the range
    paint(p, QRectF(page.left(), y + 4, page.width(), page.bottom() - y - 4 - table));
    subject_ = subject;
    y = page.bottom() - table + 8;
    const QStringList heads{tr("Channel"), tr("Lowest"), tr("Highest"), tr("Mean"),
                            tr("Over range")};
    const double first = page.width() * 0.36;
    const double other = (page.width() - first) / 4;
    const auto cell = [&](int c, const QString& text, const QColor& color) {
        const QRectF box(page.left() + (c == 0 ? 0 : first + (c - 1) * other), y,
                         c == 0 ? first : other, rowHeight);
        p.setPen(color);
        p.drawText(box.adjusted(4, 0, -4, 0),
                   (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, text);
    };
    QFont head = font;
    head.setBold(true);
    p.setFont(head);
    for (int c = 0; c < 5; ++c) cell(c, heads[c], kInk);
    p.setPen(QPen(Qt::gray, 1));
    p.drawLine(QPointF(page.left(), y + rowHeight), QPointF(page.right(), y + rowHeight));
    p.setFont(font);
    for (const int k : shown) {
        y += rowHeight;
        const RangeStats s = rangeStats(data_.channels[k], from_, to_);
        const auto number = [&s](double v) { return s.count > 0 ? chartNumber(v) : tr("–"); };
        const QString cells[] = {data_.channels[k].caption.trimmed(), number(s.min), number(s.max),
                                 number(s.mean), QString::number(s.overRange)};
        for (int c = 0; c < 5; ++c) cell(c, cells[c], c == 0 ? colorOf(k) : kInk);
    }
    p.restore();
}

bool ChartPicture::saveReport(const QString& name, QString* error) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(title());
        pdf.setCreator(QStringLiteral("Tavrel"));
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        QPainter painter(&pdf);
        paintReport(painter, QRectF(0, 0, pdf.width(), pdf.height()));
    }
    return writeWholeFile(name, buffer.data(), error);
}

}  // namespace tavrel
