#include "log_chart.h"

#include <QActionGroup>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#ifdef TAVREL_HAVE_PRINT
#include <QPrintDialog>
#include <QPrinter>
#endif

#include "whole_file.h"

namespace tavrel {

namespace {
constexpr double kZoomStep = 1.25;
}  // namespace

LogChart::LogChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 220);
}

void LogChart::setData(ChartData data) {
    pinned_.reset();
    picture_.setCursors(std::nullopt, std::nullopt);
    picture_.setData(std::move(data));
    refresh();
}

void LogChart::refresh() {
    layOut();
    update();
    emit rangeChanged();
}

void LogChart::setChannelVisible(int channel, bool visible) {
    picture_.setChannelVisible(channel, visible);
    refresh();
}

void LogChart::setRange(qint64 from, qint64 to) {
    picture_.setRange(from, to);
    refresh();
}

void LogChart::resetZoom() {
    picture_.resetRange();
    refresh();
}

void LogChart::zoomAt(double x, double factor) {
    picture_.zoomAt(x, factor);
    refresh();
}

void LogChart::panBy(double dx) {
    picture_.panBy(dx);
    refresh();
}

void LogChart::pinCursor(std::optional<double> t) {
    pinned_.reset();
    if (t) pinned_ = picture_.nearestRecord(*t);
    picture_.setCursors(pinned_, std::nullopt);
    update();
}

void LogChart::layOut() {
    // The geometry comes from a paint: a small one for a chart not on screen yet.
    if (isVisible()) return;
    QImage scratch(size().expandedTo(QSize(320, 220)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    picture_.paint(painter, QRectF(QPointF(0, 0), QSizeF(scratch.size())));
}

void LogChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    picture_.paint(painter, QRectF(rect()));
    if (drag_ == Drag::Box) {
        const QRectF area = picture_.plotArea();
        painter.fillRect(QRectF(QPointF(std::min(pressAt_.x(), boxTo_), area.top()),
                                QPointF(std::max(pressAt_.x(), boxTo_), area.bottom())),
                         QColor(30, 120, 200, 50));
    }
}

void LogChart::resizeEvent(QResizeEvent*) { layOut(); }

void LogChart::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0) zoomAt(event->position().x(), std::pow(kZoomStep, notches));
    event->accept();
}

void LogChart::keyPressEvent(QKeyEvent* event) {
    const double middle = picture_.plotArea().center().x();
    const double tenth = picture_.plotArea().width() / 10;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoomAt(middle, kZoomStep);
            break;
        case Qt::Key_Minus:
            zoomAt(middle, 1 / kZoomStep);
            break;
        case Qt::Key_Left:
            panBy(-tenth);
            break;
        case Qt::Key_Right:
            panBy(tenth);
            break;
        case Qt::Key_Home:
            resetZoom();
            break;
        case Qt::Key_Escape:
            pinCursor(std::nullopt);
            emit readout(QString());
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void LogChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressAt_ = event->position();
    const int channel = picture_.legendAt(pressAt_);
    if (channel >= 0) {
        setChannelVisible(channel, !channelVisible(channel));
    } else if (picture_.plotArea().contains(pressAt_)) {
        const bool box = boxMode_ || (event->modifiers() & Qt::ShiftModifier);
        drag_ = box ? Drag::Box : Drag::Pan;
        dragX_ = boxTo_ = pressAt_.x();
        if (!box) setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void LogChart::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (drag_ == Drag::Pan) {
        // Mouse moves come faster than frames: gathered, they pan once per pass of the loop.
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
    } else if (drag_ == Drag::Box) {
        boxTo_ = x;
        update();
    }
    if (picture_.plotArea().contains(event->position())) showReadout(x);
}

void LogChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None)
        return QWidget::mouseReleaseEvent(event);
    const Drag drag = drag_;
    drag_ = Drag::None;
    unsetCursor();
    const double x = event->position().x();
    if (std::fabs(x - pressAt_.x()) < 3) {
        // A click: the cursor pinned there; the read-out now gives the differences from it.
        pinCursor(picture_.timeAt(x));
        showReadout(x);
    } else if (drag == Drag::Box) {
        const double a = picture_.timeAt(std::min(pressAt_.x(), x));
        const double b = picture_.timeAt(std::max(pressAt_.x(), x));
        setRange(static_cast<qint64>(a), static_cast<qint64>(b));
    }
    event->accept();
}

void LogChart::leaveEvent(QEvent*) {
    picture_.setCursors(pinned_, std::nullopt);
    update();
}

void LogChart::showReadout(double x) {
    const double t = picture_.timeAt(x);
    const auto at = picture_.nearestRecord(t);
    picture_.setCursors(pinned_, at);
    update();
    QString text = picture_.readoutAt(t);
    if (pinned_)
        text += u'\n' + tr("From the pinned cursor: ") +
                picture_.differences(static_cast<double>(*pinned_), t);
    emit readout(text);
}

QString withSuffix(const QString& name, const QString& filter) {
    const qsizetype star = filter.indexOf(QStringLiteral("(*."));
    if (star < 0) return name;
    const QString suffix = filter.mid(star + 3, filter.indexOf(u')', star) - star - 3);
    if (QFileInfo(name).suffix().compare(suffix, Qt::CaseInsensitive) == 0) return name;
    return name + u'.' + suffix;
}

ChartWindow::ChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFont(chartFont());
    choices_ = loadChartChoices(chartChoicesFile());
    chart_ = new LogChart(this);
    mode_ = new QComboBox(this);
    mode_->addItems({QString(), QString(), QString()});
    lock_ = new QCheckBox(this);
    box_ = new QCheckBox(this);
    reset_ = new QPushButton(this);
    save_ = new QPushButton(this);
    export_ = new QPushButton(this);
    print_ = new QPushButton(this);
    readout_ = new QLabel(this);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setTextFormat(Qt::PlainText);  // captions come from the instrument
    readout_->setWordWrap(true);
    stats_ = new QTableWidget(0, 5, this);
    stats_->setObjectName(QStringLiteral("RangeStats"));
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    stats_->verticalHeader()->setDefaultSectionSize(stats_->fontMetrics().height() + 6);
    auto* controls = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{mode_, lock_, box_, reset_, save_, export_, print_})
        controls->addWidget(w);
    controls->addStretch();
    // The chart takes what the figures (as tall as their rows) and the read-out leave.
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(chart_, 1);
    layout->addWidget(stats_);
    layout->addWidget(readout_);
    connect(mode_, &QComboBox::activated, this,
            [this](int index) { setMode(static_cast<ChartMode>(index)); });
    connect(lock_, &QCheckBox::toggled, this, [this](bool on) {
        chart_->picture().setYLocked(on);
        chart_->refresh();
    });
    connect(box_, &QCheckBox::toggled, chart_, &LogChart::setBoxMode);
    connect(reset_, &QPushButton::clicked, chart_, &LogChart::resetZoom);
    connect(chart_, &LogChart::readout, readout_, &QLabel::setText);
    connect(chart_, &LogChart::rangeChanged, this, &ChartWindow::showStats);
    connect(save_, &QPushButton::clicked, this, &ChartWindow::saveImage);
    connect(export_, &QPushButton::clicked, this, &ChartWindow::askExport);
    connect(print_, &QPushButton::clicked, this, &ChartWindow::print);
    chart_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chart_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        fillMenu(&menu);
        menu.exec(chart_->mapToGlobal(at));
    });
    saveDialog = [this](const QString& title, const QString& proposed, const QString& filters,
                        QString* chosen) {
        return QFileDialog::getSaveFileName(this, title, proposed, filters, chosen);
    };
    retranslate();
    resize(1000, 680);
}

void ChartWindow::retranslate() {
    const QString subject = chart_->picture().subject();
    setWindowTitle(subject.isEmpty() ? tr("Chart") : tr("Chart: %1").arg(subject));
    const QString modes[3] = {tr("Lanes by unit"), tr("Overlay"), tr("Normalised")};
    for (int i = 0; i < 3; ++i) mode_->setItemText(i, modes[i]);
    lock_->setText(tr("Lock y"));
    box_->setText(tr("Zoom box"));
    reset_->setText(tr("Reset"));
    save_->setText(tr("Save image…"));
    export_->setText(tr("Export shown range…"));
    print_->setText(tr("Print…"));
    stats_->setHorizontalHeaderLabels(
        {tr("Shown range"), tr("Lowest"), tr("Highest"), tr("Mean"), tr("Over range")});
    readout_->setText(
        tr("Wheel or + -: zoom   Drag or arrows: pan   Shift+drag: zoom box   Home: whole log   "
           "Click: pin a cursor   Caption: show or hide   Right button: lanes, export"));
    chart_->refresh();  // the legend's and the marks' words
}

void ChartWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void ChartWindow::setLog(const LogTable& table, int channel, const QString& subject) {
    table_ = table;
    setWindowTitle(subject.isEmpty() ? tr("Chart") : tr("Chart: %1").arg(subject));
    ChartPicture& picture = chart_->picture();
    picture.setSubject(subject);
    const ChartMode mode = choices_.modes.value(shapeOf(table.captions), ChartMode::Lanes);
    mode_->setCurrentIndex(static_cast<int>(mode));
    lock_->setChecked(false);
    picture.setMode(mode);
    ChartData data = buildChartData(table_);
    for (int k = 0; k < data.channels.size(); ++k)
        picture.setOwnLane(k, choices_.ownLane.contains(data.channels[k].caption.trimmed()));
    picture.setData(std::move(data));
    for (int k = 0; channel >= 0 && k < picture.data().channels.size(); ++k)
        picture.setChannelVisible(k, k == channel);
    chart_->refresh();
}

void ChartWindow::setMode(ChartMode mode) {
    mode_->setCurrentIndex(static_cast<int>(mode));
    lock_->setChecked(false);
    chart_->picture().setMode(mode);
    chart_->refresh();
    choices_.modes.insert(shapeOf(table_.captions), mode);
    remember();
}

void ChartWindow::setOwnLane(int channel, bool own) {
    const ChartData& data = chart_->data();
    if (channel < 0 || channel >= data.channels.size()) return;
    chart_->picture().setOwnLane(channel, own);
    chart_->refresh();
    const QString caption = data.channels[channel].caption.trimmed();
    if (own) {
        choices_.ownLane.insert(caption);
    } else {
        choices_.ownLane.remove(caption);
    }
    remember();
}

void ChartWindow::remember() {
    QString error;
    if (!saveChartChoices(chartChoicesFile(), choices_, &error))
        readout_->setText(
            tr("The chart's choices are not remembered (%1: %2)").arg(chartChoicesFile(), error));
}

void ChartWindow::warn(const QString& title, const QString& text) {
    QMessageBox::warning(this, title, text);
}

void ChartWindow::saveImage() {
#ifdef TAVREL_HAVE_SVG
    const QString filters = tr("PNG image (*.png);;PDF (*.pdf);;SVG image (*.svg)");
#else
    const QString filters = tr("PNG image (*.png);;PDF (*.pdf)");
#endif
    QString chosen;
    QString name = saveDialog(tr("Save image"), QStringLiteral("chart.png"), filters, &chosen);
    if (name.isEmpty()) return;
    name =
        withSuffix(name, chosen.isEmpty() ? filters.section(QStringLiteral(";;"), 0, 0) : chosen);
    QString error;
    const bool saved = chart_->picture().save(name, chart_->size(), &error);
    chart_->layOut();  // the file's paint left its own geometry behind
    chart_->update();
    if (!saved) warn(tr("Save image"), QStringLiteral("%1: %2").arg(name, error));
}

void ChartWindow::askExport() {
    const QString filter = tr("CSV (*.csv)");
    QString chosen;
    QString name =
        saveDialog(tr("Export shown range"), QStringLiteral("Shown.csv"), filter, &chosen);
    if (name.isEmpty()) return;
    name = withSuffix(name, filter);
    QString error;
    if (!exportShownRange(name, &error))
        warn(tr("Export shown range"), QStringLiteral("%1: %2").arg(name, error));
}

void ChartWindow::print() {
#ifdef TAVREL_HAVE_PRINT
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(chart_->picture().title());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        warn(tr("Print"), tr("The printer could not be started."));
        return;
    }
    // The report is laid out at 96 dots an inch, as on screen, and scaled to the printer's.
    const double scale = printer.resolution() / 96.0;
    painter.scale(scale, scale);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    chart_->picture().paintReport(painter,
                                  QRectF(0, 0, page.width() / scale, page.height() / scale));
    painter.end();
    chart_->layOut();
#else
    // Without Qt Print Support: the same A4 page as a PDF to print from anywhere.
    const QString filter = tr("PDF (*.pdf)");
    QString chosen;
    QString name = saveDialog(tr("Print to PDF"), QStringLiteral("chart.pdf"), filter, &chosen);
    if (name.isEmpty()) return;
    name = withSuffix(name, filter);
    QString error;
    if (!chart_->picture().saveReport(name, &error))
        warn(tr("Print"), QStringLiteral("%1: %2").arg(name, error));
    chart_->layOut();
#endif
    chart_->update();
}

bool ChartWindow::exportShownRange(const QString& name, QString* error) const {
    const ChartData& data = chart_->data();
    QList<qsizetype> columns;  // the visible channels' fields after the stamp
    QStringList captions;
    for (qsizetype k = 0; k < table_.captions.size(); ++k) {
        if (!chart_->channelVisible(static_cast<int>(k))) continue;
        columns.append(k + 1);
        captions.append(table_.captions[k]);
    }
    QList<QStringList> rows;
    for (qsizetype i = 0; i < table_.rows.size() && i < data.rowTimes.size(); ++i) {
        const qint64 t = data.rowTimes[i];
        if (t < chart_->rangeFrom() || t > chart_->rangeTo()) continue;
        QStringList row{table_.rows[i].value(0)};
        for (const qsizetype c : columns) row.append(table_.rows[i].value(c));
        rows.append(row);
    }
    if (rows.isEmpty() || captions.isEmpty()) {
        *error =
            captions.isEmpty() ? tr("no channel is shown") : tr("no records in the range shown");
        return false;
    }
    return writeWholeFile(name, logCsv(captions, rows), error);
}

void ChartWindow::fillMenu(QMenu* menu) {
    const ChartData& data = chart_->data();
    for (int k = 0; k < data.channels.size(); ++k) {
        if (!data.channels[k].used()) continue;
        QMenu* sub = menu->addMenu(data.channels[k].caption.trimmed());
        auto* group = new QActionGroup(sub);
        for (const bool own : {false, true}) {
            QAction* action = sub->addAction(own ? tr("Lane of its own") : tr("Lane by its unit"));
            action->setCheckable(true);
            action->setChecked(chart_->picture().ownLane(k) == own);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [this, k, own] { setOwnLane(k, own); });
        }
    }
    menu->addSeparator();
    connect(menu->addAction(tr("Export shown range…")), &QAction::triggered, this,
            &ChartWindow::askExport);
    connect(menu->addAction(tr("Save image…")), &QAction::triggered, this, &ChartWindow::saveImage);
    connect(menu->addAction(tr("Print…")), &QAction::triggered, this, &ChartWindow::print);
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
            item->setForeground(channelColor(k));
            stats_->setItem(row, c, item);
        }
    }
    // Every visible channel's row in view: the table is as tall as its rows.
    const int height = stats_->horizontalHeader()->height() +
                       stats_->verticalHeader()->defaultSectionSize() * stats_->rowCount() +
                       2 * stats_->frameWidth() + 2;
    stats_->setMinimumHeight(height);
    stats_->setMaximumHeight(height);
}

}  // namespace tavrel
