// Builds the widgets of DwnLoad1: captions, initial texts and places of every widget on the
// five tabs. Positions are in pixels of the 625 x 433 client area (15 twips per pixel).

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>

#include "branding.h"
#include "dwnload1.h"
#include "grid_model.h"
#include "language.h"
#include "program_handlers.h"
#include "settings_file.h"

namespace tavrel {

namespace {

QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QGroupBox* frame(QWidget* parent, const char* name, QRect geometry) {
    auto* box = new QGroupBox(parent);
    box->setObjectName(QLatin1String(name));
    QFont f = box->font();
    f.setFamilies({QStringLiteral("굴림"), QStringLiteral("Gulim"), QStringLiteral("NanumGothic")});
    f.setBold(true);
    box->setFont(f);
    box->setGeometry(geometry);
    // The frame's caption font is not the font of what it holds.
    return box;
}

template <typename W>
W* place(W* widget, const QString& name, QRect geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QFont plainFont(const QWidget* w) {
    QFont f = w->font();
    f.setBold(false);
    f.setFamilies({QStringLiteral("Sans Serif"), QStringLiteral("NanumGothic")});
    f.setPointSizeF(9);
    return f;
}

}  // namespace

void DwnLoad1::buildDownloadTab(QWidget* page) {
    auto* frame5 = frame(page, "Frame5", {8, 6, 292, 86});
    auto* frame4 = frame(page, "Frame4", {8, 98, 292, 290});
    auto* frame6 = frame(page, "Frame6", {310, 6, 300, 150});
    auto* frame7 = frame(page, "Frame7", {310, 162, 300, 226});

    for (int i = 8; i <= 9; ++i) {
        const int x = 16 + (i - 8) * 140;
        text3_[i] = place(new QLineEdit(frame5), indexed("Text3", i), {x, 24, 124, 26});
        auto* label = place(new QLabel(frame5), indexed("Label3", i), {x, 52, 124, 22});
        label->setAlignment(Qt::AlignCenter);
        text3_[i]->setFont(plainFont(text3_[i]));
        label->setFont(plainFont(label));
    }
    for (int i = 0; i < 8; ++i) {
        const int x = 14 + (i / 4) * 140;
        const int y = 22 + (i % 4) * 66;
        auto* label = place(new QLabel(frame4), indexed("Label3", i), {x, y, 126, 20});
        text3_[i] = place(new QLineEdit(frame4), indexed("Text3", i), {x, y + 20, 126, 26});
        label->setFont(plainFont(label));
        text3_[i]->setFont(plainFont(text3_[i]));
    }

    text2_ = place(new QLineEdit(QStringLiteral("Logdata.csv"), frame6), QStringLiteral("Text2"),
                   {14, 28, 272, 26});
    auto* label2 = place(new QLabel(frame6), QStringLiteral("Label2"), {14, 60, 272, 36});
    label2->setAlignment(Qt::AlignCenter);
    label2->setWordWrap(true);
    auto* command3 = place(new QPushButton(frame6), QStringLiteral("Command3"), {90, 104, 120, 32});
    for (QWidget* w : std::initializer_list<QWidget*>{text2_, label2, command3})
        w->setFont(plainFont(w));
    connect(command3, &QPushButton::clicked, this,
            [this] { guarded("Command3", [this] { onBrowseClicked(); }); });

    progress_ = place(new QProgressBar(frame7), QStringLiteral("ProgressBar1"), {14, 32, 272, 24});
    progress_->setRange(0, 100);
    progress_->setValue(0);
    label4_ = place(new QLabel(frame7), QStringLiteral("Label4"), {14, 66, 272, 66});
    label4_->setAlignment(Qt::AlignCenter);
    label4_->setTextFormat(Qt::PlainText);
    label4_->setWordWrap(true);
    command2_ = place(new QPushButton(frame7), QStringLiteral("Command2"), {90, 150, 120, 40});
    for (QWidget* w : std::initializer_list<QWidget*>{progress_, label4_, command2_})
        w->setFont(plainFont(w));
}

void DwnLoad1::buildResultsTab(QWidget* page) {
    grid1_ = place(new QTableView(page), QStringLiteral("MSHFlexGrid1"), {4, 4, 612, 384});
    model1_ = new GridModel(records_, this);
    grid1_->setModel(model1_);
    grid1_->verticalHeader()->setDefaultSectionSize(20);
    grid1_->verticalHeader()->setMinimumWidth(twipsToPixels(records_.colWidth(0)));
    grid1_->setFont(plainFont(grid1_));
    // The set widths, widened where a time stamp in this locale and font would be cut off.
    auto applyWidths = [this] {
        const QFontMetrics metrics(grid1_->font());
        for (int c = 1; c < records_.cols(); ++c) {
            const int needed = std::max(metrics.horizontalAdvance(records_.text(2, c)),
                                        metrics.horizontalAdvance(records_.text(1, c))) +
                               12;
            grid1_->setColumnWidth(c - 1, std::max(twipsToPixels(records_.colWidth(c)), needed));
        }
        grid1_->verticalHeader()->setFixedWidth(twipsToPixels(records_.colWidth(0)));
    };
    connect(model1_, &QAbstractItemModel::modelReset, this, applyWidths);
    connect(model1_, &GridModel::widthsChanged, this, applyWidths);
    applyWidths();
    buildGridTools();
}

void DwnLoad1::buildGridTools() {
    auto* copyAction = new QAction(grid1_);
    auto* selectAllAction = new QAction(grid1_);
    copyAction->setObjectName(QStringLiteral("CopyAction"));
    selectAllAction->setObjectName(QStringLiteral("SelectAllAction"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    grid1_->addActions({copyAction, selectAllAction});
    grid1_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copyAction, &QAction::triggered, this, [this] {
        guarded("CopyAction", [this] {
            QGuiApplication::clipboard()->setText(
                model1_->tabSeparated(grid1_->selectionModel()->selectedIndexes()));
        });
    });
    connect(selectAllAction, &QAction::triggered, grid1_, &QTableView::selectAll);
    auto* archiveAction = new QAction(grid1_);
    archiveAction->setObjectName(QStringLiteral("ArchiveAction"));
    grid1_->addAction(archiveAction);
    connect(archiveAction, &QAction::triggered, this,
            [this] { guarded("ArchiveAction", [this] { onAddToArchive(); }); });
    auto* chartAction = new QAction(grid1_);
    chartAction->setObjectName(QStringLiteral("ChartAction"));
    grid1_->insertAction(copyAction, chartAction);
    connect(chartAction, &QAction::triggered, this, [this] {
        guarded("ChartAction", [this] {
            // A channel column under the cursor opens on that channel, else all of them.
            const int column = grid1_->currentIndex().column();
            openChart(grid1_->selectionModel()->selectedColumns().size() == 1 && column >= 1
                          ? column - 1
                          : -1);
        });
    });
    auto openOn = [this](int column) {
        guarded("MSHFlexGrid1_DblClick", [this, column] {
            if (column >= 1 && !records_.text(1, column + 1).isEmpty()) openChart(column - 1);
        });
    };
    connect(grid1_->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, openOn);
    // The captions stand in the grid's first row: a double-click there means the same.
    connect(grid1_, &QTableView::doubleClicked, this, [openOn](const QModelIndex& index) {
        if (index.row() == 0) openOn(index.column());
    });
    auto* openAction = new QAction(grid1_);
    openAction->setObjectName(QStringLiteral("OpenLogAction"));
    grid1_->insertAction(copyAction, openAction);
    openDialog = [this] {
        return QFileDialog::getOpenFileName(this, tr("Open log"), QString(),
                                            tr("Logs (*.csv);;All files (*)"));
    };
    connect(openAction, &QAction::triggered, this, [this] {
        guarded("OpenLogAction", [this] {
            const QString file = openDialog();
            QString error;
            if (!file.isEmpty() && !openLog(file, &error) && warn)
                warn(QStringLiteral("%1: %2").arg(file, error));
        });
    });
}

void DwnLoad1::openChart(int channel) {
    const LogTable table = logTableFromGrid(records_);
    if (table.rows.isEmpty()) {
        if (warn) warn(tr("There are no downloaded records to chart yet."));
        return;
    }
    if (chartWindow_ == nullptr) {
        chartWindow_ = new ChartWindow(this);
        chartWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    const bool opened = !openedFile_.isEmpty() && table.captions == openedLog_.captions &&
                        table.rows.size() == openedLog_.rows.size() &&
                        table.rows.last() == openedLog_.rows.last();
    chartWindow_->setLog(table, channel, opened ? QFileInfo(openedFile_).fileName() : QString());
    chartWindow_->show();
    chartWindow_->raise();
}

bool DwnLoad1::openLog(const QString& file, QString* error) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    LogTable table;
    if (!readLogCsv(in.readAll(), &table, error)) return false;
    fillRecordsGrid(records_, table);
    openedFile_ = file;
    openedLog_ = logTableFromGrid(records_);  // as the grid holds it (a full grid cuts a log)
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->widget(i)->isAncestorOf(grid1_)) tabs_->setCurrentIndex(i);
    openChart(-1);
    return true;
}

void DwnLoad1::buildSettingsTab(QWidget* page) {
    // Extras live in a context menu: the tab's widgets and captions stay as they are.
    auto* findAction = new QAction(page);
    findAction->setObjectName(QStringLiteral("FindAction"));
    page->addAction(findAction);
    page->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(findAction, &QAction::triggered, this,
            [this] { guarded("FindAction", [this] { openFinder(); }); });
    // The window's language: the system's, or one chosen here and kept beside the settings.
    // The languages are named in their own words, so either reader finds theirs.
    languageMenu_ = new QMenu(this);
    auto* languageGroup = new QActionGroup(languageMenu_);
    const std::pair<const char*, std::optional<Language>> choices[3] = {
        {"LanguageSystem", std::nullopt},
        {"LanguageKorean", Language::Korean},
        {"LanguageEnglish", Language::English}};
    for (const auto& [name, choice] : choices) {
        QAction* item =
            languageMenu_->addAction(!choice                       ? QString()
                                     : *choice == Language::Korean ? QStringLiteral("한국어")
                                                                   : QStringLiteral("English"));
        item->setObjectName(QLatin1String(name));
        item->setCheckable(true);
        languageGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice = choice] {
            guarded("LanguageAction", [this, choice] { chooseLanguage(choice); });
        });
    }
    languageMenu_->menuAction()->setObjectName(QStringLiteral("LanguageMenu"));
    page->addAction(languageMenu_->menuAction());
    auto* frame1 = frame(page, "Frame1", {12, 12, 180, 250});
    auto* frame2 = frame(page, "Frame2", {210, 12, 180, 160});
    auto* frame3 = frame(page, "Frame3", {408, 12, 200, 100});
    for (int i = 0; i < 7; ++i) {
        option1_[i] = place(new QRadioButton(baudCaptions()[i], frame1), indexed("Option1", i),
                            {20, 26 + i * 31, 140, 26});
        option1_[i]->setFont(plainFont(option1_[i]));
    }
    for (int i = 0; i < 4; ++i) {
        option2_[i] = place(new QRadioButton(portCaptions()[i], frame2), indexed("Option2", i),
                            {20, 26 + i * 31, 140, 26});
        option2_[i]->setFont(plainFont(option2_[i]));
    }
    for (int i = 0; i < 2; ++i) {
        option3_[i] =
            place(new QRadioButton(frame3), indexed("Option3", i), {20, 26 + i * 31, 170, 26});
        option3_[i]->setFont(plainFont(option3_[i]));
    }
    option1_[6]->setChecked(true);
    option2_[0]->setChecked(true);
    option3_[1]->setChecked(true);

    auto* label1 = place(new QLabel(page), QStringLiteral("Label1"), {408, 124, 200, 22});
    label1->setAlignment(Qt::AlignCenter);
    label1->setFont(plainFont(label1));
    text1_ = place(new QLineEdit(QStringLiteral("001"), page), QStringLiteral("Text1"),
                   {458, 150, 100, 30});
    text1_->setAlignment(Qt::AlignCenter);
    QFont bold = plainFont(text1_);
    bold.setBold(true);
    text1_->setFont(bold);
}

void DwnLoad1::buildPanelTab(QWidget* page) {
    auto* frame8 = place(new QGroupBox(page), indexed("Frame8", 0), {12, 6, 596, 142});
    // The display's fixed-width cells in the platform's own fixed-width font: Windows has no
    // "Monospace" (its stand-in drew nothing under the Windows platform here).
    QFont display;
    display.setFamilies({QStringLiteral("Consolas"), QStringLiteral("Courier New"),
                         QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
    display.setStyleHint(QFont::TypeWriter);
    display.setPointSizeF(14);
    display.setBold(true);
    for (int i = 0; i < 4; ++i) {
        text4_[i] = place(new QLineEdit(frame8), indexed("Text4", i), {12, 8 + i * 32, 572, 30});
        text4_[i]->setFont(display);
        text4_[i]->setReadOnly(true);
    }
    for (int i = 0; i < kKeypadKeys; ++i) {
        const KeypadKey& key = keypadKey(i);
        auto* button =
            place(new QPushButton(QString::fromLatin1(key.caption), page), indexed("Command1", i),
                  {70 + (i % 4) * 122, 156 + (i / 4) * 52, 112, 46});
        QFont f = plainFont(button);
        const bool digit = key.caption[1] == '\0';
        f.setPointSizeF(digit ? 13.5 : 6);
        button->setFont(f);
        command1_[i] = button;
        connect(button, &QPushButton::clicked, this, [this, i] { panel_.keyClicked(i); });
    }
    auto* label22 =
        place(new QLabel(kMakerWebAddress, page), QStringLiteral("Label22"), {12, 364, 596, 22});
    label22->setAlignment(Qt::AlignCenter);
    label22->setCursor(Qt::PointingHandCursor);
    label22->setFont(plainFont(label22));
}

void DwnLoad1::buildModemTab(QWidget* page) {
    auto boldFont = [](QWidget* w) {
        QFont f = plainFont(w);
        f.setBold(true);
        w->setFont(f);
    };
    command4_ = place(new QPushButton(page), QStringLiteral("Command4"), {16, 16, 130, 36});
    text5_[0] = place(new QLineEdit(QStringLiteral("Phone #"), page), indexed("Text5", 0),
                      {16, 62, 200, 28});
    text5_[1] = place(new QLineEdit(QStringLiteral("Description"), page), indexed("Text5", 1),
                      {16, 96, 200, 28});
    command5_ = place(new QPushButton(page), QStringLiteral("Command5"), {16, 134, 130, 36});
    command5_->setVisible(false);
    auto* label5 = place(new QLabel(page), QStringLiteral("Label5"), {16, 184, 200, 20});
    label6_ = place(new QLabel(page), QStringLiteral("Label6"), {16, 206, 200, 176});
    label6_->setWordWrap(true);
    label6_->setTextFormat(Qt::PlainText);  // the modem's words, never markup
    label6_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label6_->setFrameShape(QFrame::StyledPanel);
    label6_->setFont(plainFont(label6_));
    auto* label7 = place(new QLabel(page), QStringLiteral("Label7"), {232, 16, 376, 20});
    for (QWidget* w : std::initializer_list<QWidget*>{command4_, text5_[0], text5_[1], command5_,
                                                      label5, label7}) {
        boldFont(w);
    }

    grid2_ = place(new QTableView(page), QStringLiteral("MSHFlexGrid2"), {232, 40, 376, 342});
    model2_ = new GridModel(phoneBook_.grid(), this);
    grid2_->setModel(model2_);
    grid2_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid2_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid2_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid2_->verticalHeader()->setDefaultSectionSize(28);
    grid2_->setFont(plainFont(grid2_));
    // The set widths, widened where the header caption would be cut off.
    auto applyWidths = [this] {
        const FlexGrid& g = phoneBook_.grid();
        for (int c = 1; c < g.cols(); ++c) {
            grid2_->setColumnWidth(c - 1,
                                   std::max(twipsToPixels(g.colWidth(c)),
                                            grid2_->horizontalHeader()->sectionSizeHint(c - 1)));
        }
        grid2_->verticalHeader()->setFixedWidth(twipsToPixels(g.colWidth(0)));
    };
    connect(model2_, &GridModel::widthsChanged, this, applyWidths);
    applyWidths();
}

namespace {

template <typename W>
void caption(const QObject* root, const QString& name, const QString& text) {
    if (auto* w = root->findChild<W*>(name)) w->setText(text);
}

}  // namespace

// Every caption the window shows, in the language of the translators installed now: run once
// when the window is built and again whenever the language changes. What the instrument, the
// modem, a download or the user put into the widgets is never touched here.
void DwnLoad1::retranslate() {
    setWindowTitle(demo_ ? tr("%1 (demo)").arg(windowTitleText()) : windowTitleText());
    exitItem_->setText(tr("E&xit"));
    const QString tabCaptions[5] = {tr("다운로드"), tr("다운로드 후 결과 보기"), tr("환경설정"),
                                    tr("유량계"), tr("모뎀 통신")};
    for (int i = 0; i < 5; ++i) tabs_->setTabText(i, tabCaptions[i]);

    auto frameCaption = [this](const char* name, const QString& text) {
        if (auto* box = findChild<QGroupBox*>(QLatin1String(name))) box->setTitle(text);
    };
    frameCaption("Frame5", tr("기록상황"));
    frameCaption("Frame4", tr("채널"));
    frameCaption("Frame6", tr("화일명 지정"));
    frameCaption("Frame7", tr("다운로드"));
    frameCaption("Frame1", tr("통신속도"));
    frameCaption("Frame2", tr("통신포트"));
    frameCaption("Frame3", tr("흐름제어"));
    caption<QLabel>(this, indexed("Label3", 8), tr("기록된 레코드"));
    caption<QLabel>(this, indexed("Label3", 9), tr("데이터 레코드"));
    for (int i = 0; i < 8; ++i)
        caption<QLabel>(this, indexed("Label3", i), tr("채널 #%1").arg(i + 1));
    caption<QLabel>(this, QStringLiteral("Label2"), tr("데이터 수신할 화일명을 지정합니다"));
    caption<QPushButton>(this, QStringLiteral("Command3"), tr("화일명 변경"));
    command2_->setText(tr("데이터 수신"));
    option3_[0]->setText(tr("없음"));
    option3_[1]->setText(tr("하드웨어 (Cts/Rts)"));
    caption<QLabel>(this, QStringLiteral("Label1"), tr("Slave ID"));
    command4_->setText(tr("전화걸기"));
    command5_->setText(tr("전화끊기"));
    caption<QLabel>(this, QStringLiteral("Label5"), tr("상황"));
    // Until the modem has said something, the status line says all is well.
    if (modemStatus_.isEmpty()) label6_->setText(tr("정상"));
    caption<QLabel>(this, QStringLiteral("Label7"), tr("전화번호부"));

    caption<QAction>(this, QStringLiteral("ChartAction"), tr("Chart…"));
    caption<QAction>(this, QStringLiteral("OpenLogAction"), tr("Open log…"));
    caption<QAction>(this, QStringLiteral("CopyAction"), tr("Copy"));
    caption<QAction>(this, QStringLiteral("SelectAllAction"), tr("Select all"));
    caption<QAction>(this, QStringLiteral("ArchiveAction"), tr("Add to archive…"));
    caption<QAction>(this, QStringLiteral("FindAction"), tr("Find the instrument…"));
    languageMenu_->setTitle(tr("Language"));
    caption<QAction>(this, QStringLiteral("LanguageSystem"), tr("As the system"));
    updatePortButtons();
}

QString DwnLoad1::windowTitleText() {
    //: The title bar: the maker's name, then "download program" and the version.
    return tr("%1 다운로드 프로그램 1.09K").arg(kMakerName);
}

void DwnLoad1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QMainWindow::changeEvent(event);
}

void DwnLoad1::useTranslations(Translations* translations, std::optional<Language> chosen) {
    translations_ = translations;
    const char* checked = !chosen                       ? "LanguageSystem"
                          : *chosen == Language::Korean ? "LanguageKorean"
                                                        : "LanguageEnglish";
    if (auto* item = findChild<QAction*>(QLatin1String(checked))) item->setChecked(true);
}

void DwnLoad1::chooseLanguage(std::optional<Language> choice) {
    const bool kept = saveLanguageChoice(settingsPath(kLanguageFileName), choice);
    if (translations_ != nullptr) translations_->install(choice.value_or(systemLanguage()));
    // Said in the language just chosen.
    if (!kept && warn)
        warn(tr("The language cannot be kept in this folder: it lasts until the window closes."));
}

}  // namespace tavrel
