#include "dwnload1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFont>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <exception>

#include "archive.h"
#include "archive_choice.h"
#include "branding.h"
#include "grid_model.h"
#include "link.h"
#include "port_map.h"
#include "program_handlers.h"
#include "tcp_comm_port.h"

namespace tavrel {

namespace {
constexpr int kPanelTab = 3;
constexpr int kClientWidth = 625;   // 9375 twips
constexpr int kClientHeight = 433;  // 6495 twips
}  // namespace

DwnLoad1::DwnLoad1(Link& link, QWidget* parent)
    : QMainWindow(parent),
      link_(link),
      records_(kRecordsGridRows, kRecordsGridCols),
      driver_(link, records_, *this),
      panel_(link, *this),
      modem_(link, *this) {
    // The frames' Korean system font, where it is missing, in the Korean font Linux ships.
    QFont::insertSubstitutions(QStringLiteral("굴림"),
                               {QStringLiteral("NanumGothic"), QStringLiteral("Gulim")});
    setObjectName(QStringLiteral("DwnLoad1"));
    exitItem_ = menuBar()->addAction(QString());
    exitItem_->setObjectName(QStringLiteral("File_mnu"));
    connect(exitItem_, &QAction::triggered, this,
            [this] { guarded("File_mnu", [this] { onExitClicked(); }); });

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->setFixedSize(kClientWidth, kClientHeight);
    for (int i = 0; i < 5; ++i) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1_tab%1").arg(i));
        tabs_->addTab(page, QString());
    }
    buildDownloadTab(tabs_->widget(0));
    buildResultsTab(tabs_->widget(1));
    buildSettingsTab(tabs_->widget(2));
    buildPanelTab(tabs_->widget(3));
    buildModemTab(tabs_->widget(4));
    retranslate();
    tabs_->setCurrentIndex(kPanelTab);
    setCentralWidget(tabs_);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setInterval(750);
    timer1_.setTimerType(Qt::PreciseTimer);  // a coarse timer may tick 5 % early
    saveDialog = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, tr("Download FileName"), proposed,
                                            QStringLiteral("*.csv"));
    };
    warn = [this](const QString& text) {
        QMessageBox::warning(this, QCoreApplication::applicationName(), text);
    };
    inform = [this](const QString& text) {
        QMessageBox::information(this, QCoreApplication::applicationName(), text);
    };
    archiveDialog = [this](QString* archive, QString* meter) {
        const QString file = QFileDialog::getSaveFileName(
            this, tr("Archive"), archive->isEmpty() ? archive::kDefaultArchive : *archive,
            tr("Archive (*.db);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
        if (file.isEmpty()) return false;
        bool ok = false;
        const QString name = QInputDialog::getText(
            this, tr("Archive"), tr("Meter name in the archive:"), QLineEdit::Normal, *meter, &ok);
        if (!ok || name.trimmed().isEmpty()) return false;
        *archive = file;
        *meter = name.trimmed();
        return true;
    };
    wireHandlers();
}

DwnLoad1::~DwnLoad1() { link_.portLock().onChange = nullptr; }

void DwnLoad1::wireHandlers() {
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int current) { onTabChanged(current); });
    connect(&timer1_, &QTimer::timeout, this,
            [this] { guarded("Timer1", [this] { panel_.tick(); }); });
    for (int i = 0; i < 7; ++i) {
        connect(option1_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) onBaudOption(link_.state(), i);
        });
    }
    for (int i = 0; i < 4; ++i) {
        connect(option2_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) onPortOption(link_.state(), i);
        });
    }
    connect(text1_, &QLineEdit::textChanged, this,
            [this](const QString& t) { onSlaveIdChanged(link_.state(), t); });
    connect(text2_, &QLineEdit::textChanged, this,
            [this](const QString& t) { onFileNameChanged(link_.state(), t); });
    connect(command2_, &QPushButton::clicked, this,
            [this] { guarded("Command2", [this] { driver_.onDownloadClicked(); }); });
    connect(command4_, &QPushButton::clicked, this, [this] {
        guarded("Command4", [this] { modem_.DialModem([this] { return text5_[0]->text(); }); });
    });
    connect(command5_, &QPushButton::clicked, this,
            [this] { guarded("Command5", [this] { modem_.HangUp(); }); });
    connect(text5_[0], &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!silentEditors_) phoneBook_.phoneEdited(t);
    });
    connect(text5_[1], &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!silentEditors_) phoneBook_.descriptionEdited(t);
    });
    connect(grid2_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !syncingPhoneGrid_) {
                    phoneBook_.selectionChanged(current.row() + 1, current.column() + 1);
                }
            });
    // The phone book moves its own current cell (write-through editing); show it.
    connect(model2_, &GridModel::currentChanged, this, [this](int row, int col) {
        const QModelIndex index = model2_->index(row - 1, col - 1);
        if (grid2_->currentIndex() != index) {
            // Not a selection by the user: the selection handler must not copy the row again.
            syncingPhoneGrid_ = true;
            grid2_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            syncingPhoneGrid_ = false;
        }
    });
    phoneBook_.setEditors(this);
    link_.portLock().onChange = [this] { updatePortButtons(); };
}

void DwnLoad1::startUp() {
    QString holder;
    if (settingsLock_.acquire(&holder) == SettingsLock::HeldElsewhere && warn) {
        warn(tr("Another window of this tool, %1, is using the settings in this "
                "folder.\n\nThis window will save its settings and phone book to "
                "%2 when it closes, unless that window has closed by then.")
                 .arg(holder, QString::fromLatin1(kConflictSettingsFileName)));
    }
    const QString unsaved = startUpSettings(link_.state(), *this);
    if (!unsaved.isEmpty()) {
        // Said once, where the settings are: the widgets themselves stay as they are.
        tabs_->setTabToolTip(
            2, Qt::mightBeRichText(unsaved) ? Qt::convertFromPlainText(unsaved) : unsaved);
        // A GUI program has no console to tell it on: said in the window, once, at start.
        if (warn) warn(unsaved);
    }
}

void DwnLoad1::showAsDemo() {
    demo_ = true;
    retranslate();
}

void DwnLoad1::guarded(const char* what, const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        qWarning("%s: %s", what, e.what());
    } catch (...) {
        qWarning("%s: unexpected failure", what);
    }
}

void DwnLoad1::onAddToArchive() {
    ArchiveChoice choice = loadArchiveChoice();
    if (!choice.complete()) {
        if (!archiveDialog || !archiveDialog(&choice.archive, &choice.meter)) return;
        saveArchiveChoice(choice);
    }
    const QString said =
        addDownloadToArchive(driver_, choice, QStringLiteral("COM%1").arg(link_.state().CommPort),
                             link_.state().CommSlaveID);
    if (inform) inform(said);
}

void DwnLoad1::openFinder() {
    if (finder_ != nullptr) {
        finder_->raise();
        return;
    }
    finder_ = new FindDialog(this, findPorts ? findPorts() : find::systemPorts(),
                             [this](const find::Hit& hit) { useFound(hit); });
    finder_->setAttribute(Qt::WA_DeleteOnClose);
    finder_->show();
    finder_->start();
}

void DwnLoad1::useFound(const find::Hit& hit) {
    int number = find::portNumberOf(hit.port.device);
    if (number == 0) {
        // Another device than COM1..COM4: port 1 means it from now on, here and next time.
        number = 1;
        const QString device = hit.port.kept();
        if (auto* mapped = dynamic_cast<MappedCommPort*>(&link_.port()))
            mapped->setMapping(number, device);
        PortMap::saveMapping(settingsPath(kPortsFileName), number, device);
    }
    // As if the user had chosen them: the widgets' own handlers set the program state.
    option2_[number - 1]->setChecked(true);
    const qsizetype baud = baudCaptions().indexOf(QString::number(hit.baud));
    if (baud >= 0) option1_[baud]->setChecked(true);
    text1_->setText(QStringLiteral("%1").arg(hit.slave, 3, 10, QLatin1Char('0')));
}

void DwnLoad1::onTabChanged(int current) {
    const int previous = previousTab_;
    previousTab_ = current;
    if (previous != kPanelTab && current == kPanelTab) {
        for (QLineEdit* line : text4_) line->setText(QString());
        timer1_.start();
    } else if (previous == kPanelTab) {
        timer1_.stop();
    }
}

void DwnLoad1::onBrowseClicked() {
    const QString proposed =
        lastDialogFile_.isEmpty() ? QStringLiteral("LogData.csv") : lastDialogFile_;
    const QString chosen = saveDialog ? saveDialog(proposed) : QString();
    if (chosen.isEmpty()) return;  // cancelled: nothing changes
    lastDialogFile_ = chosen;
    text2_->setText(chosen);
    link_.state().DownloadSaveFile = chosen;
}

void DwnLoad1::saveOnce() {
    if (saved_) return;
    saved_ = true;
    ++saves_;
    saveSettingsAtExit(settingsLock_, *this);
}

void DwnLoad1::onExitClicked() {
    saveOnce();
    link_.shutDown();  // any wait in progress ends at its next pass
    hide();
    QCoreApplication::exit(0);
}

void DwnLoad1::closeEvent(QCloseEvent* event) {
    guarded("close", [this] {
        saveOnce();
        link_.shutDown();
    });
    event->accept();
}

QString DwnLoad1::operationText(const QString& operation) {
    if (operation == u"download") return tr("A download");
    if (operation == u"dial") return tr("Dialing");
    if (operation == u"hang-up") return tr("Hanging up");
    if (operation == u"front panel poll") return tr("The front panel's poll");
    return operation;
}

void DwnLoad1::updatePortButtons() {
    const PortLock& lock = link_.portLock();
    const bool free = !lock.operationBusy();
    command2_->setEnabled(free);
    command4_->setEnabled(free);
    command5_->setEnabled(lock.operation() != QStringLiteral("hang-up"));
    // A greyed button says why: a poll of a silent instrument keeps the port for minutes.
    const QString why =
        free ? QString() : tr("%1 in progress").arg(operationText(lock.operation()));
    for (QPushButton* button : {command2_, command4_, command5_})
        button->setToolTip(button->isEnabled() ? QString() : why);
}

void DwnLoad1::selectPortOption(int index) {
    if (index < 0 || index >= 4) return;
    option2_[index]->setChecked(true);
    onPortOption(link_.state(), index);
}

int DwnLoad1::selectedPortOption() const {
    for (int i = 0; i < 4; ++i) {
        if (option2_[i]->isChecked()) return i;
    }
    return 0;
}

void DwnLoad1::selectBaudOption(int index) {
    if (index < 0 || index >= 7) return;
    option1_[index]->setChecked(true);
    onBaudOption(link_.state(), index);
}

int DwnLoad1::selectedBaudOption() const {
    for (int i = 0; i < 7; ++i) {
        if (option1_[i]->isChecked()) return i;
    }
    return 6;
}

bool DwnLoad1::flowControlNone() const { return option3_[0]->isChecked(); }

void DwnLoad1::setSlaveIdText(const QString& text) {
    const QSignalBlocker block(text1_);
    text1_->setText(text);
    onSlaveIdChanged(link_.state(), text);
}

QString DwnLoad1::slaveIdText() const { return text1_->text(); }

void DwnLoad1::setFileNameText(const QString& text) {
    const QSignalBlocker block(text2_);
    text2_->setText(text);
    onFileNameChanged(link_.state(), text);
}

QString DwnLoad1::fileNameText() const { return text2_->text(); }

void DwnLoad1::setDownloadStatus(const QString& text) { label4_->setText(text); }

// The status text stays the tool's own; the reason rides along as the label's tooltip.
void DwnLoad1::setFailureCause(const QString& cause) {
    // A file name or the port's words may look like markup: shown as they are.
    label4_->setToolTip(Qt::mightBeRichText(cause) ? Qt::convertFromPlainText(cause) : cause);
}

void DwnLoad1::setProgress(float percent) { progress_->setValue(static_cast<int>(percent)); }

void DwnLoad1::setTransfer(std::int32_t received, std::int32_t total, double secondsLeft) {
    QString text = tr("%1 of %2 bytes").arg(received).arg(total);
    if (secondsLeft >= 0) text = tr("%1, about %2 left").arg(text, durationText(secondsLeft));
    progress_->setToolTip(text);
}

void DwnLoad1::setCountText(int index, const QString& text) {
    if (index >= 0 && index < 10) text3_[index]->setText(text);
}

void DwnLoad1::setDownloadEnabled(bool enabled) { command2_->setEnabled(enabled); }

void DwnLoad1::setDisplayLine(int line, const QByteArray& converted) {
    if (line >= 0 && line < 4) text4_[line]->setText(displayText(converted));
}

void DwnLoad1::setModemStatus(const QString& text) {
    modemStatus_ = text;
    // The modem's lines as it sent them: CR LF, CR or LF each end a line on the label.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    label6_->setText(shown);
}

QString DwnLoad1::modemStatus() const { return modemStatus_; }

void DwnLoad1::setLineSpeed(int baud) {
    label6_->setToolTip(baud > 0 ? tr("Line speed: %1 baud").arg(baud) : QString());
}

void DwnLoad1::setHangUpVisible(bool visible) { command5_->setVisible(visible); }

void DwnLoad1::showPhone(const QString& text) {
    silentEditors_ = true;
    text5_[0]->setText(text);
    silentEditors_ = false;
}

void DwnLoad1::showDescription(const QString& text) {
    silentEditors_ = true;
    text5_[1]->setText(text);
    silentEditors_ = false;
}

}  // namespace tavrel
