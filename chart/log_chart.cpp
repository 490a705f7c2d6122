#include "log_chart.h"

#include <QActionGroup>
#include <QBoxLayout>
#include <QBuffer>
#include <QCategoryAxis>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableWidget>
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
    timeAxis_ = new QCategoryAxis;
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    timeAxis_->setLabelsFont(chartFont(8));
    timeAxis_->setTitleFont(chartFont(8));
    timeAxis_->setTitleText(QStringLiteral("Time"));
    c->addAxis(timeAxis_, Qt::AlignBottom);

    // At most one value axis on each side. Left of its own accord: the first real unit; right:
    // a second unit when it is the only other one, else everything else. A channel the user
    // placed goes where it was put; a side holding more than one unit is titled "Value".
    QStringList units;
    bool unitless = false;
    for (qsizetype k = 0; k < data_.channels.size(); ++k) {
        const ChannelLine& line = data_.channels[k];
        if (!line.used() || placement(static_cast<int>(k)) != Placement::Automatic) continue;
        if (line.unit.isEmpty()) {
            unitless = true;
        } else if (!units.contains(line.unit)) {
            units.append(line.unit);
        }
    }
    const QString plain = QStringLiteral("Value");
    const QString leftUnit = units.value(0);
    const QString rightUnit = units.size() == 2 && !unitless ? units[1] : QString();
    std::map<Placement, std::pair<QValueAxis*, QStringList>> sides;
    auto axisFor = [&](qsizetype k) {
        const ChannelLine& line = data_.channels[k];
        Placement side = normalised_ ? Placement::Own : placement(static_cast<int>(k));
        if (side == Placement::Automatic)
            side = !rightUnit.isEmpty() && line.unit == rightUnit ? Placement::Right
                   : leftUnit.isEmpty() || line.unit == leftUnit  ? Placement::Left
                                                                  : Placement::Right;
        auto& [axis, titles] = sides[side];
        if (axis == nullptr) {
            axis = new QValueAxis;
            axis->setLabelsFont(chartFont(8));
            axis->setTitleFont(chartFont(8));
            // People's numbers: at most six significant digits, exponent form beyond them.
            axis->setLabelFormat(QStringLiteral("%.6g"));
            c->addAxis(axis, side == Placement::Right ? Qt::AlignRight : Qt::AlignLeft);
        }
        const QString title = line.unit.isEmpty() ? plain : line.unit;
        if (!titles.contains(title)) titles.append(title);
        return axis;
    };
    for (qsizetype k = 0; k < data_.channels.size(); ++k) {
        const ChannelLine& line = data_.channels[k];
        Channel& channel = channels_[k];
        channel.runs.clear();
        if (!line.used()) continue;
        channel.axis = axisFor(k);
        for (qsizetype r = 0; r < line.runs.size(); ++r) {
            auto* series = new QLineSeries;
            series->setName(placement(static_cast<int>(k)) == Placement::Own && !normalised_
                                ? line.caption + QStringLiteral(" (0..1)")
                                : line.caption);
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
    ownAxis_ = nullptr;
    for (auto& [side, axis] : sides) {
        if (side == Placement::Own) {
            // Only the window's "Normalised" shows it; one channel moved there is read from
            // the read-out.
            axis.first->setTitleText(QStringLiteral("0 = lowest, 1 = highest of each channel"));
            ownAxis_ = axis.first;
        } else {
            axis.first->setTitleText(axis.second.size() == 1 ? axis.second[0] : plain);
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
    for (const QString& label : timeAxis_->categoriesLabels()) timeAxis_->remove(label);
    timeAxis_->setStartValue(static_cast<double>(from_));
    timeAxis_->setRange(static_cast<double>(from_), static_cast<double>(to_));
    // Room for a label of "MM-dd HH:mm" and a gap between neighbours.
    const int most = std::max(2, static_cast<int>(chart()->plotArea().width() / 110));
    for (const TimeTick& tick : timeTicks(from_, to_, most))
        if (tick.msecs > from_) timeAxis_->append(tick.label, static_cast<double>(tick.msecs));
    // Buckets two pixels wide, each down to its lowest and highest point: spikes survive while
    // the line items (whose geometry Qt Charts rebuilds point by point) stay small.
    const int columns = std::max(50, static_cast<int>(chart()->plotArea().width() / 2));
    std::map<QValueAxis*, std::pair<double, double>> ranges;
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        const ChannelLine& line = data_.channels[k];
        Channel& channel = channels_[k];
        const double span = line.max - line.min;
        const bool own = channel.axis != nullptr && channel.axis == ownAxis_;
        for (qsizetype r = 0; r < channel.runs.size(); ++r) {
            QVector<QPointF> points = decimate(line.runs[r], static_cast<double>(from_),
                                               static_cast<double>(to_), columns);
            if (own) {
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
        if (channel.axis == nullptr) continue;
        channel.axis->setVisible(ranges.count(channel.axis) > 0 &&
                                 (normalised_ || channel.axis != ownAxis_));
    }
    for (auto& [axis, range] : ranges) {
        if (axis == ownAxis_) {
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
    emit rangeChanged();
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

Placement LogChart::placement(int channel) const {
    if (channel < 0 || channel >= data_.channels.size()) return Placement::Automatic;
    return placements_.value(data_.channels[channel].caption.trimmed(), Placement::Automatic);
}

void LogChart::setPlacement(int channel, Placement placement) {
    if (channel < 0 || channel >= data_.channels.size()) return;
    const QString caption = data_.channels[channel].caption.trimmed();
    if (placement == Placement::Automatic) {
        placements_.remove(caption);
    } else {
        placements_.insert(caption, placement);
    }
    rebuild();
}

void LogChart::setPlacements(const QHash<QString, Placement>& placements) {
    placements_ = placements;
    rebuild();
}

namespace {
const std::pair<Placement, const char*> kPlacementWords[] = {
    {Placement::Left, "left"}, {Placement::Right, "right"}, {Placement::Own, "own"}};
}  // namespace

QHash<QString, Placement> loadPlacements(const QString& file) {
    QHash<QString, Placement> out;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& raw : in.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(raw).trimmed().split(u'\t');
        if (fields.size() != 2) continue;
        for (const auto& [placement, word] : kPlacementWords)
            if (fields[1] == QLatin1String(word)) out.insert(fields[0].trimmed(), placement);
    }
    return out;
}

bool savePlacements(const QString& file, const QHash<QString, Placement>& placements,
                    QString* error) {
    QStringList captions = placements.keys();
    captions.sort();
    QByteArray out;
    for (const QString& caption : captions) {
        for (const auto& [placement, word] : kPlacementWords)
            if (placements[caption] == placement) out += caption.toUtf8() + '\t' + word + '\n';
    }
    return writeWholeFile(file, out, error);
}

QString placementsFile() { return QStringLiteral("Tavreldwn.chart"); }

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
    // The record nearest in time over the visible channels (its values or its over-range
    // marks), then what each channel holds there.
    double best = -1;
    const auto nearest = [&](const QVector<QPointF>& points) {
        auto it = std::lower_bound(points.begin(), points.end(), t,
                                   [](const QPointF& p, double v) { return p.x() < v; });
        for (auto candidate : {it, it == points.begin() ? it : it - 1}) {
            if (candidate == points.end()) continue;
            if (best < 0 || std::abs(candidate->x() - t) < std::abs(best - t))
                best = candidate->x();
        }
    };
    const auto at = [&best](const QVector<QPointF>& points) -> const QPointF* {
        auto it = std::lower_bound(points.begin(), points.end(), best,
                                   [](const QPointF& p, double v) { return p.x() < v; });
        return it != points.end() && it->x() == best ? &*it : nullptr;
    };
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        if (!channels_[k].visible) continue;
        for (const QVector<QPointF>& run : data_.channels[k].runs) nearest(run);
        nearest(data_.channels[k].overRange);
    }
    if (best < 0) return {};
    QString text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(best))
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    for (qsizetype k = 0; k < channels_.size(); ++k) {
        if (!channels_[k].visible) continue;
        const ChannelLine& line = data_.channels[k];
        QString value;
        for (const QVector<QPointF>& run : line.runs)
            if (const QPointF* p = at(run)) value = chartNumber(p->y());
        if (const QPointF* p = at(line.overRange)) value = overRangeMeaning(p->y());
        if (!value.isEmpty())
            text += QStringLiteral("   %1: %2").arg(line.caption.trimmed(), value);
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
    } else if (suffix == QStringLiteral("pdf")) {
        layOut(size());
        QPdfWriter pdf(&buffer);
        pdf.setTitle(chart()->title());
        pdf.setCreator(QStringLiteral("Tavrel"));
        pdf.setResolution(96);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(size()) * 72.0 / 96.0, QPageSize::Point));
        QPainter painter(&pdf);
        scene()->render(&painter, QRectF(0, 0, pdf.width(), pdf.height()), scene()->sceneRect());
    } else if (suffix == QStringLiteral("png")) {
        if (!image(size()).save(&buffer, "PNG")) {
            *error = QStringLiteral("the image could not be made");
            return false;
        }
    } else {
        *error = QStringLiteral("say .png, .svg or .pdf");
        return false;
    }
    return writeWholeFile(name, buffer.data(), error);
}

ChartWindow::ChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Chart"));
    setFont(chartFont());
    chart_ = new LogChart(this);
    chart_->setPlacements(loadPlacements(placementsFile()));
    normalised_ = new QCheckBox(QStringLiteral("Normalised"), this);
    auto* reset = new QPushButton(QStringLiteral("Reset zoom"), this);
    auto* save = new QPushButton(QStringLiteral("Save image…"), this);
    auto* exportRange = new QPushButton(QStringLiteral("Export shown range…"), this);
    auto* print = new QPushButton(QStringLiteral("Print…"), this);
    readout_ = new QLabel(this);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setTextFormat(Qt::PlainText);  // captions come from the instrument
    stats_ = new QTableWidget(0, 5, this);
    stats_->setObjectName(QStringLiteral("RangeStats"));
    stats_->setHorizontalHeaderLabels({QStringLiteral("Shown range"), QStringLiteral("Lowest"),
                                       QStringLiteral("Highest"), QStringLiteral("Mean"),
                                       QStringLiteral("Over range")});
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* controls = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{normalised_, reset, save, exportRange, print})
        controls->addWidget(w);
    controls->addStretch();
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(chart_);
    split->addWidget(stats_);
    split->setStretchFactor(0, 1);
    split->setSizes({380, 130});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(split, 1);
    layout->addWidget(readout_);
    connect(normalised_, &QCheckBox::toggled, chart_, &LogChart::setNormalised);
    connect(reset, &QPushButton::clicked, chart_, &LogChart::resetZoom);
    connect(chart_, &LogChart::readout, readout_, &QLabel::setText);
    connect(chart_, &LogChart::rangeChanged, this, &ChartWindow::showStats);
    connect(save, &QPushButton::clicked, this, [this] {
        saveAs(QStringLiteral("Save image"), QStringLiteral("chart.png"),
               QStringLiteral("PNG image (*.png);;SVG image (*.svg);;PDF (*.pdf)"));
    });
    connect(print, &QPushButton::clicked, this, [this] {
        saveAs(QStringLiteral("Print"), QStringLiteral("chart.pdf"), QStringLiteral("PDF (*.pdf)"));
    });
    connect(exportRange, &QPushButton::clicked, this, &ChartWindow::askExport);
    chart_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chart_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        fillMenu(&menu);
        menu.exec(chart_->mapToGlobal(at));
    });
    readout_->setText(QStringLiteral(
        "Wheel: zoom   Drag: pan   Legend: show or hide a channel   Right button: axes, export"));
    resize(900, 560);
}

void ChartWindow::saveAs(const QString& title, const QString& suggestion, const QString& filter) {
    const QString name = QFileDialog::getSaveFileName(this, title, suggestion, filter);
    if (name.isEmpty()) return;
    QString error;
    if (!chart_->saveImage(name, &error))
        QMessageBox::warning(this, title, QStringLiteral("%1: %2").arg(name, error));
}

void ChartWindow::setLog(const LogTable& table, int channel) {
    table_ = table;
    chart_->setData(buildChartData(table_));
    if (channel < 0) return;
    for (int k = 0; k < chart_->data().channels.size(); ++k)
        chart_->setChannelVisible(k, k == channel);
}

void ChartWindow::askExport() {
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export shown range"),
                                     QStringLiteral("Shown.csv"), QStringLiteral("CSV (*.csv)"));
    QString error;
    if (!name.isEmpty() && !exportShownRange(name, &error))
        QMessageBox::warning(this, QStringLiteral("Export shown range"),
                             QStringLiteral("%1: %2").arg(name, error));
}

bool ChartWindow::exportShownRange(const QString& name, QString* error) const {
    const ChartData& data = chart_->data();
    QList<QStringList> rows;
    for (qsizetype i = 0; i < table_.rows.size() && i < data.rowTimes.size(); ++i) {
        const qint64 t = data.rowTimes[i];
        if (t >= chart_->rangeFrom() && t <= chart_->rangeTo()) rows.append(table_.rows[i]);
    }
    if (rows.isEmpty()) {
        *error = QStringLiteral("no records in the range shown");
        return false;
    }
    return writeWholeFile(name, logCsv(table_.captions, rows), error);
}

void ChartWindow::place(int channel, Placement placement) {
    chart_->setPlacement(channel, placement);
    QString error;
    if (!savePlacements(placementsFile(), chart_->placements(), &error))
        readout_->setText(
            QStringLiteral("The axes are not remembered (%1: %2)").arg(placementsFile(), error));
}

void ChartWindow::fillMenu(QMenu* menu) {
    const ChartData& data = chart_->data();
    const std::pair<Placement, QString> choices[] = {
        {Placement::Automatic, QStringLiteral("By its unit")},
        {Placement::Left, QStringLiteral("Left axis")},
        {Placement::Right, QStringLiteral("Right axis")},
        {Placement::Own, QStringLiteral("Own scale (0 = lowest, 1 = highest)")}};
    for (int k = 0; k < data.channels.size(); ++k) {
        if (!data.channels[k].used()) continue;
        QMenu* sub = menu->addMenu(data.channels[k].caption.trimmed());
        auto* group = new QActionGroup(sub);
        for (const auto& [placement, text] : choices) {
            QAction* action = sub->addAction(text);
            action->setCheckable(true);
            action->setChecked(chart_->placement(k) == placement);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [this, k, p = placement] { place(k, p); });
        }
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Export shown range…")), &QAction::triggered, this,
            &ChartWindow::askExport);
    connect(menu->addAction(QStringLiteral("Print…")), &QAction::triggered, this, [this] {
        saveAs(QStringLiteral("Print"), QStringLiteral("chart.pdf"), QStringLiteral("PDF (*.pdf)"));
    });
}

void ChartWindow::showStats() {
    const ChartData& data = chart_->data();
    stats_->setRowCount(0);
    for (int k = 0; k < data.channels.size(); ++k) {
        if (!data.channels[k].used() || !chart_->channelVisible(k)) continue;
        const RangeStats s = rangeStats(data.channels[k], chart_->rangeFrom(), chart_->rangeTo());
        const auto number = [&s](double v) {
            return s.count > 0 ? chartNumber(v) : QStringLiteral("–");
        };
        const int row = stats_->rowCount();
        stats_->insertRow(row);
        const QString cells[] = {data.channels[k].caption.trimmed(), number(s.min), number(s.max),
                                 number(s.mean), QString::number(s.overRange)};
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setForeground(colorOf(k));
            stats_->setItem(row, c, item);
        }
    }
}

}  // namespace tavrel
