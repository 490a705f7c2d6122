#include "find_dialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace tavrel {

FindDialog::FindDialog(QWidget* parent, QList<find::Candidate> ports,
                       std::function<void(const find::Hit&)> use)
    : QDialog(parent), ports_(std::move(ports)), use_(std::move(use)) {
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(tr("Find the instrument"));
    progress_ = new QLabel(this);
    progress_->setTextFormat(Qt::PlainText);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("FindResults"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    useButton_ = buttons->addButton(tr("Use"), QDialogButtonBox::AcceptRole);
    useButton_->setObjectName(QStringLiteral("FindUse"));
    useButton_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(progress_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(620, 320);
    connect(list_, &QListWidget::currentRowChanged, this,
            [this](int row) { useButton_->setEnabled(row >= 0 && row < meters_.size()); });
    connect(useButton_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row >= 0 && row < meters_.size() && use_) use_(meters_[row]);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The probes run in threads of their own; what they tell comes here through the queue.
    finder_.onProbe = [this](const QString& port, int baud, int slave) {
        QMetaObject::invokeMethod(
            this, [this, port, baud, slave] { probing(port, baud, slave); }, Qt::QueuedConnection);
    };
    finder_.onHit = [this](const find::Hit& hit) {
        QMetaObject::invokeMethod(
            this, [this, hit] { found(hit); }, Qt::QueuedConnection);
    };
}

void FindDialog::changeEvent(QEvent* event) {
    // A language chosen while the search runs: the title and the button at once, the progress
    // with the next port tried.
    if (event->type() == QEvent::LanguageChange) {
        setWindowTitle(tr("Find the instrument"));
        useButton_->setText(tr("Use"));
    }
    QDialog::changeEvent(event);
}

FindDialog::~FindDialog() {
    stop_ = true;
    if (thread_ != nullptr) thread_->wait();
}

void FindDialog::start() {
    if (thread_ != nullptr) return;
    progress_->setText(tr("Searching %1 port(s)…").arg(ports_.size()));
    find::FindOptions options;
    options.ports = ports_;
    options.bauds = find::likelyBauds();
    options.slaves = find::likelySlaves(1, 247);
    thread_ = QThread::create([this, options] { finder_.run(options, stop_); });
    connect(thread_, &QThread::finished, this, &FindDialog::finished);
    thread_->start();
}

void FindDialog::probing(const QString& port, int baud, int slave) {
    progress_->setText(tr("Trying %1 at %2 baud, slave ID %3…").arg(port).arg(baud).arg(slave));
}

void FindDialog::found(const find::Hit& hit) {
    const QString where = hit.port.kept();
    if (hit.kind == find::Hit::Meter) {
        meters_.append(hit);
        // Meters first, in the order found: their rows match meters_.
        list_->insertItem(static_cast<int>(meters_.size() - 1),
                          tr("Meter on %1: %2 baud, slave ID %3, %4 records (%5)")
                              .arg(where)
                              .arg(hit.baud)
                              .arg(hit.slave)
                              .arg(hit.records)
                              .arg(hit.captions.value(0)));
        if (list_->currentRow() < 0) list_->setCurrentRow(0);
    } else if (hit.kind == find::Hit::OtherDevice) {
        list_->addItem(tr("Other Modbus device on %1: %2 baud, slave ID %3")
                           .arg(where)
                           .arg(hit.baud)
                           .arg(hit.slave));
    } else {
        list_->addItem(QStringLiteral("%1: %2").arg(where, hit.why));
    }
}

void FindDialog::finished() {
    thread_->deleteLater();
    thread_ = nullptr;
    progress_->setText(meters_.isEmpty() ? tr("No meter found.")
                                         : tr("Done: choose a meter and Use it."));
}

}  // namespace tavrel
