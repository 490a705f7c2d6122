#include "log_chart.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <map>

#include "whole_file.h"

namespace tavrel {

namespace {

const QColor kColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                          QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                          QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
constexpr qint64 kLeastRange = qint64{60} * 1000;  // zoomed in no further than a minute

QColor colorOf(qsizetype channel) {
    return kColors[static_cast<std::size_t>(channel) % std::size(kColors)];
}

}  // namespace

QFont chartFont(int pointSize) {
    // The window's Korean font, or the Korean font Linux ships where it is missing.
    QFont::insertSubstitutions(QStringLiteral("굴림"),
                               {QStringLiteral("NanumGothic"), QStringLiteral("Gulim")});
    return QFont(QStringLiteral("굴림"), pointSize);
}

LogChart::LogChart(QWidget* parent) : QChartView(new QChart, parent) {
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    chart()->setFont(chartFont());
    chart()->legend()->setFont(chartFont());
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setMargins(QMargins(4, 4, 4, 4));
}

void LogChart::setData(ChartData data) {
    data_ = std::move(data);
    channels_.clear();
    channels_.resize(data_.channels.size());
    from_ = data_.first;
    to_ = std::max(data_.last, data_.first + kLeastRange);
    rebuild();
}

void LogChart::rebuild() {
    QChart* c = chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    timeAxis_->setTickCount(6);
    timeAxis_->setLabelsFont(chartFont(8));
    timeAxis_->setTitleFont(chartFont(8));
    timeAxis_->setTitleText(QStringLiteral("Time"));
    c->addAxis(timeAxis_, Qt::AlignBottom);

    // At most one value axis on each side: the first real unit on the left; on the right a
    // second unit when it is the only other one, else a plain value axis for all the rest.
    QStringList units;
    bool unitless = false;
    for (const ChannelLine& line : data_.channels) {
        if (!line.used()) continue;
        if (line.unit.isEmpty()) {
            unitless = true;
        } else if (!units.contains(line.unit)) {
            units.append(line.unit);
        }
    }
    const QString plain = QStringLiteral("Value");
    const QString left = units.value(0, plain);
    const QString right = units.size() == 2 && !unitless ? units[1] : plain;
    std::map<QString, QValueAxis*> axes;  // by title
    auto axisFor = [&](const ChannelLine& line) {
        QString title = normalised_ ? QStringLiteral("0 = lowest, 1 = highest of each channel")
                                    : (line.unit == left    ? left
                                       : line.unit == right ? right
                                                            : plain);
        if (!normalised_ && line.unit.isEmpty() && left == plain) title = plain;
        auto it = axes.find(title);
        if (it != axes.end()) return it->second;
        auto* axis = new QValueAxis;
        axis->setLabelsFont(chartFont(8));
        axis->setTitleFont(chartFont(8));
        axis->setTitleText(title);
        // People's numbers: at most six significant digits, exponent form beyond them.
        axis->setLabelFormat(QStringLiteral("%.6g"));
        c->addAxis(axis, normalised_ || title == left ? Qt::AlignLeft : Qt::AlignRight);
        axes.emplace(title, axis);
        return axis;
    };
    for (qsizetype k = 0; k < data_.channels.size(); ++k) {
        const ChannelLine& line = data_.channels[k];
        Channel& channel = channels_[k];
        channel.runs.clear();
        if (!line.used()) continue;
        channel.axis = axisFor(line);
        for (qsizetype r = 0; r < line.runs.size(); ++r) {
            auto* series = new QLineSeries;
            series->setName(line.caption);
            // A one-pixel cosmetic pen is drawn without the stroker's joins: panning stays quick.
            QPen pen(colorOf(k), 1);
            pen.setCosmetic(true);
            series->setPen(pen);
            c->addSeries(series);
            series->attachAxis(timeAxis_);
            series->attachAxis(channel.axis);
            series->setVisible(channel.visible);
            const QList<QLegendMarker*> markers = c->legend()->markers(series);
            for (QLegendMarker* marker : markers) {
                marker->setVisible(r == 0);
                if (r != 0) continue;
                marker->setLabelBrush(channel.visible ? QBrush(Qt::black) : QBrush(Qt::gray));
                connect(marker, &QLegendMarker::clicked, this, [this, k] {
                    setChannelVisible(static_cast<int>(k), !channelVisible(static_cast<int>(k)));
                });
            }
            channel.runs.append(series);
        }
        if (!line.overRange.isEmpty()) {
            // Over range: a mark at the top or bottom edge, in the channel's colour.
            channel.overRange = new QScatterSeries;
            channel.overRange->setName(line.caption + QStringLiteral(" over range"));
            channel.overRange->setColor(colorOf(k));
            channel.overRange->setMarkerSize(7);
            channel.overRange->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
            c->addSeries(channel.overRange);
            channel.overRange->attachAxis(timeAxis_);
            channel.overRange->attachAxis(channel.axis);
            channel.overRange->setVisible(channel.visible);
            for (QLegendMarker* marker : c->legend()->markers(channel.overRange))
                marker->setVisible(false);
        } else {
            channel.overRange = nullptr;
        }
    }
    // Breaks: a dashed line from bottom to top wherever the time steps back (or the year was
    // moved back for New Year), on an axis of their own.
    breakAxis_ = nullptr;
    if (!data_.breaks.isEmpty()) {
        breakAxis_ = new QValueAxis;
        breakAxis_->setRange(0, 1);
        breakAxis_->setVisible(false);
        c->addAxis(breakAxis_, Qt::AlignRight);
        bool first = true;
        for (const ChartBreak& b : data_.breaks) {
            auto* series = new QLineSeries;
            series->setName(QStringLiteral("time steps back (no year in the log)"));
            series->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
            series->append(static_cast<double>(b.msecs), 0);
            series->append(static_cast<double>(b.msecs), 1);
            c->addSeries(series);
            series->attachAxis(timeAxis_);
            series->attachAxis(breakAxis_);
            for (QLegendMarker* marker : c->legend()->markers(series)) marker->setVisible(first);
            first = false;
        }
    }
    refill();
}

void LogChart::refill() {
    if (timeAxis_ == nullptr) return;
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from_), QDateTime::fromMSecsSinceEpoch(to_));
    // Buckets two pixels wide, each down to its lowest and highest point: spikes survive while
    // the line items (whose geometry Qt Charts rebuilds point by point) stay small.
    const int columns = std::max(50, static_cast<int>(chart()->plotArea().width() / 2));
    std::map<QValueAxis*, std::pair<double, double>> ranges;
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        const ChannelLine& line = data_.channels[k];
        Channel& channel = channels_[k];
        const double span = line.max - line.min;
        for (qsizetype r = 0; r < channel.runs.size(); ++r) {
            QVector<QPointF> points = decimate(line.runs[r], static_cast<double>(from_),
                                               static_cast<double>(to_), columns);
            if (normalised_) {
                for (QPointF& p : points) p.setY(span > 0 ? (p.y() - line.min) / span : 0.5);
            }
            channel.runs[r]->replace(points);
        }
        if (channel.axis == nullptr || !channel.visible) continue;
        auto [it, added] = ranges.try_emplace(channel.axis, line.min, line.max);
        if (!added) {
            it->second.first = std::min(it->second.first, line.min);
            it->second.second = std::max(it->second.second, line.max);
        }
    }
    for (const Channel& channel : channels_) {
        if (channel.axis != nullptr) channel.axis->setVisible(ranges.count(channel.axis) > 0);
    }
    for (auto& [axis, range] : ranges) {
        if (normalised_) {
            axis->setRange(-0.05, 1.05);
            continue;
        }
        const double pad = std::max(1e-9, (range.second - range.first) * 0.05);
        axis->setRange(range.first - pad, range.second + pad);
        axis->applyNiceNumbers();
    }
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        const Channel& channel = channels_[k];
        if (channel.overRange == nullptr || channel.axis == nullptr) continue;
        QVector<QPointF> marks;
        for (const QPointF& p : data_.channels[k].overRange) {
            if (p.x() < static_cast<double>(from_) || p.x() > static_cast<double>(to_)) continue;
            marks.append(QPointF(p.x(), p.y() > 0 ? channel.axis->max() : channel.axis->min()));
        }
        channel.overRange->replace(marks);
    }
    const auto when = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    };
    chart()->setTitle((subject_.isEmpty() ? QString() : subject_ + QStringLiteral(": ")) +
                      when(from_) + QStringLiteral(" – ") + when(to_));
}

void LogChart::setSubject(const QString& subject) {
    subject_ = subject;
    refill();
}

void LogChart::setNormalised(bool normalised) {
    if (normalised == normalised_) return;
    normalised_ = normalised;
    rebuild();
}

bool LogChart::channelVisible(int channel) const {
    return channel >= 0 && channel < channels_.size() && channels_[channel].visible;
}

void LogChart::setChannelVisible(int channel, bool visible) {
    if (channel < 0 || channel >= channels_.size()) return;
    Channel& c = channels_[channel];
    c.visible = visible;
    for (QLineSeries* series : c.runs) series->setVisible(visible);
    if (c.overRange != nullptr) c.overRange->setVisible(visible);
    if (!c.runs.isEmpty()) {
        for (QLegendMarker* marker : chart()->legend()->markers(c.runs.first())) {
            marker->setVisible(true);  // a hidden series keeps its marker, greyed
            marker->setLabelBrush(visible ? QBrush(Qt::black) : QBrush(Qt::gray));
        }
    }
    refill();
}

void LogChart::setRange(qint64 from, qint64 to) {
    if (to - from < kLeastRange) {
        const qint64 middle = from / 2 + to / 2;
        from = middle - kLeastRange / 2;
        to = from + kLeastRange;
    }
    from_ = from;
    to_ = to;
    refill();
}

void LogChart::resetZoom() {
    setRange(data_.first, std::max(data_.last, data_.first + kLeastRange));
}

double LogChart::timeAt(double x) const {
    const QRectF area = chart()->plotArea();
    const double share = area.width() > 0 ? (x - area.left()) / area.width() : 0.0;
    return static_cast<double>(from_) + share * static_cast<double>(to_ - from_);
}

void LogChart::zoomAt(double x, double factor) {
    const double t = timeAt(x);
    setRange(static_cast<qint64>(t - (t - static_cast<double>(from_)) / factor),
             static_cast<qint64>(t + (static_cast<double>(to_) - t) / factor));
}

void LogChart::panBy(double dx) {
    const double width = chart()->plotArea().width();
    if (width <= 0) return;
    const auto dt = static_cast<qint64>(dx / width * static_cast<double>(to_ - from_));
    setRange(from_ + dt, to_ + dt);
}

QString LogChart::readoutAt(double x) const {
    const double t = timeAt(x);
    // The record nearest in time over the visible channels, then each channel's value there.
    double best = -1;
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        if (!channels_[k].visible) continue;
        for (const QVector<QPointF>& run : data_.channels[k].runs) {
            auto it = std::lower_bound(run.begin(), run.end(), t,
                                       [](const QPointF& p, double v) { return p.x() < v; });
            for (auto candidate : {it, it == run.begin() ? it : it - 1}) {
                if (candidate == run.end()) continue;
                if (best < 0 || std::abs(candidate->x() - t) < std::abs(best - t))
                    best = candidate->x();
            }
        }
    }
    if (best < 0) return {};
    QString text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(best))
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        if (!channels_[k].visible) continue;
        for (const QVector<QPointF>& run : data_.channels[k].runs) {
            auto it = std::lower_bound(run.begin(), run.end(), best,
                                       [](const QPointF& p, double v) { return p.x() < v; });
            if (it != run.end() && it->x() == best) {
                text +=
                    QStringLiteral("   %1: %2")
                        .arg(data_.channels[k].caption.trimmed(), QString::number(it->y(), 'g', 7));
                break;
            }
        }
    }
    return text;
}

void LogChart::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0) zoomAt(event->position().x(), std::pow(1.25, notches));
    event->accept();
}

void LogChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && chart()->plotArea().contains(event->position())) {
        dragging_ = true;
        dragX_ = event->position().x();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void LogChart::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (dragging_) {
        // Mouse moves come faster than frames: gather them and pan once per pass of the loop.
        pendingPan_ += dragX_ - x;
        dragX_ = x;
        if (!panPending_) {
            panPending_ = true;
            QTimer::singleShot(0, this, [this] {
                panPending_ = false;
                const double dx = pendingPan_;
                pendingPan_ = 0;
                panBy(dx);
            });
        }
    }
    if (chart()->plotArea().contains(event->position())) emit readout(readoutAt(x));
    QChartView::mouseMoveEvent(event);
}

void LogChart::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void LogChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    refill();  // as many points as the new width shows
}

void LogChart::layOut(QSize size) {
    // Also for a view never shown (tavrel-cli plot): size and lay out the chart now, then fill
    // the lines for the plot area that layout gave.
    resize(size);
    chart()->setPos(0, 0);
    chart()->resize(QSizeF(size));
    scene()->setSceneRect(QRectF(QPointF(0, 0), QSizeF(size)));
    if (QGraphicsLayout* layout = chart()->layout()) layout->activate();
    refill();
}

QImage LogChart::image(QSize size) {
    layOut(size);
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    // The scene itself, not the view: a view never shown has no viewport of that size.
    scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), scene()->sceneRect());
    return out;
}

bool LogChart::saveImage(const QString& name, QString* error) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QStringLiteral("svg")) {
        layOut(size());
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size());
        svg.setViewBox(QRect(QPoint(0, 0), size()));
        svg.setTitle(QStringLiteral("Log chart"));
        QPainter painter(&svg);
        scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size())), scene()->sceneRect());
    } else if (suffix == QStringLiteral("png")) {
        if (!image(size()).save(&buffer, "PNG")) {
            *error = QStringLiteral("the image could not be made");
            return false;
        }
    } else {
        *error = QStringLiteral("say .png or .svg");
        return false;
    }
    return writeWholeFile(name, buffer.data(), error);
}

ChartWindow::ChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Chart"));
    setFont(chartFont());
    chart_ = new LogChart(this);
    normalised_ = new QCheckBox(QStringLiteral("Normalised"), this);
    auto* reset = new QPushButton(QStringLiteral("Reset zoom"), this);
    auto* save = new QPushButton(QStringLiteral("Save image…"), this);
    readout_ = new QLabel(this);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setTextFormat(Qt::PlainText);  // captions come from the instrument
    auto* controls = new QHBoxLayout;
    controls->addWidget(normalised_);
    controls->addWidget(reset);
    controls->addWidget(save);
    controls->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(chart_, 1);
    layout->addWidget(readout_);
    connect(normalised_, &QCheckBox::toggled, chart_, &LogChart::setNormalised);
    connect(reset, &QPushButton::clicked, chart_, &LogChart::resetZoom);
    connect(chart_, &LogChart::readout, readout_, &QLabel::setText);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString name = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save image"), QStringLiteral("chart.png"),
            QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
        if (name.isEmpty()) return;
        QString error;
        if (!chart_->saveImage(name, &error))
            QMessageBox::warning(this, QStringLiteral("Save image"),
                                 QStringLiteral("%1: %2").arg(name, error));
    });
    readout_->setText(QStringLiteral("Wheel: zoom   Drag: pan   Legend: show or hide a channel"));
    resize(900, 520);
}

void ChartWindow::setData(ChartData data, int channel) {
    chart_->setData(std::move(data));
    if (channel < 0) return;
    for (int k = 0; k < chart_->data().channels.size(); ++k)
        chart_->setChannelVisible(k, k == channel);
}

}  // namespace tavrel
