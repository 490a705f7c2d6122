// The window under QT_QPA_PLATFORM=offscreen, wired to the simulated instrument on the virtual
// clock: initial widget values, the handlers, the tab timer, the exit paths, and the keypad,
// download, grid and dial worked with real clicks and keystrokes.

#include <gtest/gtest.h>

#include <tuple>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "dwnload1.h"
#include "file_places.h"
#include "files.h"
#include "sim_rig.h"
#ifndef _WIN32
#include "real_link.h"
#endif

namespace tavrel::test {
namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        open();
    }
    void TearDown() override {
        window.reset();
        rig.reset();
        setSettingsFolder({});
        QDir::setCurrent(previous);
    }
    void open(const sim::SimulatedLineOptions& options = {}) {
        window.reset();
        rig = std::make_unique<SimRig>(options);
        rig->state = ProgramState{};  // the window starts from the program's start values
        rig->pump.processQtEvents = true;
        window = std::make_unique<DwnLoad1>(rig->link);
        window->warn = [this](const QString& text) { warnings << text; };
    }
    QStringList warnings;
    template <typename W>
    W* widget(const char* name) {
        W* w = window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTabWidget* tabs() { return widget<QTabWidget>("SSTab1"); }
    void showTab(int index) { tabs()->setCurrentIndex(index); }

    QTemporaryDir dir;
    QString previous;
    std::unique_ptr<SimRig> rig;
    std::unique_ptr<DwnLoad1> window;
};

TEST_F(WindowTest, InitialWidgetsAndProgramState) {
    EXPECT_EQ(tabs()->currentIndex(), 3);
    EXPECT_EQ(tabs()->size(), QSize(625, 433));
    EXPECT_FALSE(window->timer1().isActive());
    EXPECT_EQ(window->timer1().interval(), 750);
    EXPECT_FALSE(widget<QPushButton>("Command5")->isVisibleTo(window.get()));
    EXPECT_EQ(widget<QLineEdit>("Text1")->text(), "001");
    EXPECT_EQ(widget<QLineEdit>("Text2")->text(), "Logdata.csv");
    EXPECT_TRUE(widget<QRadioButton>("Option1(6)")->isChecked());
    EXPECT_TRUE(widget<QRadioButton>("Option2(0)")->isChecked());
    EXPECT_TRUE(widget<QRadioButton>("Option3(1)")->isChecked());
    const char* keys[16] = {"1", "2", "3", "Help / .", "4",    "5", "6",     "Up/Next",
                            "7", "8", "9", "Down",     "Menu", "0", "Enter", "2nd"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(
            widget<QPushButton>(QStringLiteral("Command1(%1)").arg(i).toUtf8().constData())->text(),
            QString::fromLatin1(keys[i]));
    }
    widget<QPushButton>("Command1(12)")->click();  // Menu, queued for the next poll
    EXPECT_EQ(rig->state.KeyBuffer, QByteArray("M"));
    // Nothing ran for the initial values.
    EXPECT_EQ(rig->state.CommPort, 0);
    EXPECT_TRUE(rig->state.CommBaud.isEmpty());

    window->startUp();
    EXPECT_EQ(rig->state.CommPort, 1);
    EXPECT_EQ(rig->state.CommBaud, "38400");
    EXPECT_EQ(rig->state.CommSlaveID, 1);
    EXPECT_EQ(rig->state.DownloadSaveFile, "Logdata.csv");
    EXPECT_EQ(widget<QLineEdit>("Text5(0)")->text(), " ");
}

TEST_F(WindowTest, SettingsHandlersAndTheSaveDialogKeepTheProgramState) {
    widget<QRadioButton>("Option2(2)")->click();
    EXPECT_EQ(rig->state.CommPort, 3);
    widget<QRadioButton>("Option1(4)")->click();
    EXPECT_EQ(rig->state.CommBaud, "14400");
    const ProgramState before = rig->state;
    widget<QRadioButton>("Option3(0)")->click();
    EXPECT_EQ(rig->state.CommPort, before.CommPort);
    EXPECT_EQ(rig->state.CommBaud, before.CommBaud);

    QLineEdit* text1 = widget<QLineEdit>("Text1");
    using Case = std::tuple<const char*, int>;
    // Typed a key at a time: "9999" is a valid ID on the way to the out-of-range "99999".
    for (const auto& [typed, slave] :
         {Case{"2.5", 2}, Case{"3.5", 4}, Case{"", 0}, Case{"12abc", 12}, Case{"99999", 9999}}) {
        text1->clear();
        QTest::keyClicks(text1, QString::fromLatin1(typed));
        EXPECT_EQ(rig->state.CommSlaveID, slave) << typed;
    }
    widget<QLineEdit>("Text2")->setText("other.csv");
    EXPECT_EQ(rig->state.DownloadSaveFile, "other.csv");

    // The save dialog: chosen, cancelled, and failing (nothing changes, nothing escapes).
    QStringList proposals;
    QString answer = dir.filePath("chosen.csv");
    window->saveDialog = [&](const QString& proposed) {
        proposals << proposed;
        return answer;
    };
    widget<QPushButton>("Command3")->click();
    EXPECT_EQ(widget<QLineEdit>("Text2")->text(), answer);
    EXPECT_EQ(rig->state.DownloadSaveFile, answer);
    answer.clear();  // cancel
    widget<QPushButton>("Command3")->click();
    EXPECT_EQ(rig->state.DownloadSaveFile, dir.filePath("chosen.csv"));
    EXPECT_EQ(proposals, QStringList({"LogData.csv", dir.filePath("chosen.csv")}));
    window->saveDialog = [](const QString&) -> QString { throw std::runtime_error("failed"); };
    widget<QPushButton>("Command3")->click();
    EXPECT_EQ(rig->state.DownloadSaveFile, dir.filePath("chosen.csv"));
}

// The timer runs only on the panel tab, entered from another (its lines cleared then): the
// first poll comes 750 ms after, not at once; a tab left in the middle of a poll lets that poll
// finish and starts no other; while the poll holds the port the greyed buttons say why.
TEST_F(WindowTest, RealTimerFirstTickAndLeavingTheTabMidPoll) {
    window->startUp();
    QLineEdit* line0 = widget<QLineEdit>("Text4(0)");
    for (const int tab : {4, 0, 1, 2, 4}) {
        line0->setText("stale");
        showTab(tab);
        EXPECT_FALSE(window->timer1().isActive()) << tab;
        EXPECT_EQ(line0->text(), "stale") << tab;
    }
    QElapsedTimer clock;
    showTab(3);
    clock.start();
    EXPECT_TRUE(line0->text().isEmpty());
    QString tooltipDuringPoll;
    rig->pump.onPass = [&] {
        if (tooltipDuringPoll.isEmpty())
            tooltipDuringPoll = widget<QPushButton>("Command2")->toolTip();
        showTab(0);  // left while the poll waits for the line
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->frontPanel().polls() > 0; }, 3000));
    const qint64 firstTick = clock.elapsed();
    rig->pump.onPass = nullptr;
    EXPECT_EQ(window->frontPanel().polls(), 1);
    EXPECT_GE(firstTick, 740);
    EXPECT_LT(firstTick, 1500);
    EXPECT_EQ(tooltipDuringPoll, "The front panel's poll in progress");
    EXPECT_FALSE(window->timer1().isActive());
    QTest::qWait(900);
    EXPECT_EQ(window->frontPanel().polls(), 1);  // no tick after the tab was left
    EXPECT_TRUE(widget<QPushButton>("Command2")->isEnabled());
    EXPECT_TRUE(widget<QPushButton>("Command2")->toolTip().isEmpty());
}

// A failed download keeps the status text the tool's own and says why in its tooltip; the
// next one fills the grid, the boxes and the file, and clears the tooltip.
TEST_F(WindowTest, DownloadFillsGridBoxesAndFile) {
    window->startUp();
    QTableView* grid = widget<QTableView>("MSHFlexGrid1");
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    showTab(0);
    QPushButton* command2 = widget<QPushButton>("Command2");
    QLabel* label4 = widget<QLabel>("Label4");
    rig->faults().add("silence:3@1-30", nullptr);
    command2->click();
    EXPECT_EQ(label4->text(), "Error in Downloading!!");
    EXPECT_EQ(label4->toolTip(), "reading the log size: no reply");
    rig->faults().clear();
    bool disabledDuringRun = true;
    rig->pump.onPass = [&] { disabledDuringRun = disabledDuringRun && !command2->isEnabled(); };
    command2->click();
    rig->pump.onPass = nullptr;
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(command2->isEnabled());
    EXPECT_EQ(label4->text(), "Finished. Data in File");
    EXPECT_TRUE(label4->toolTip().isEmpty());
    EXPECT_EQ(widget<QProgressBar>("ProgressBar1")->value(), 100);
    // Bytes and time left ride along as the bar's tooltip (the status texts stay the tool's).
    EXPECT_EQ(widget<QProgressBar>("ProgressBar1")->toolTip(),
              "3840 of 3840 bytes, about 0 s left");
    EXPECT_EQ(widget<QLineEdit>("Text3(9)")->text(), " 120");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Vertical).toString(), "1");
    EXPECT_EQ(grid->model()->rowCount(), 16383);
    EXPECT_GE(grid->columnWidth(0), 1800 / 15);  // widened only where a time stamp would be cut
    EXPECT_EQ(grid->columnWidth(8), 2000 / 15);
    EXPECT_EQ(readFile("Logdata.csv").count("\r\n"), 121);
}

// The grid's context menu: Copy as a spreadsheet pastes it, Select all, the archive, and the
// chart window.
TEST_F(WindowTest, GridCopiesSelectionsAndOpensTheChart) {
    sim::SimulatedLineOptions options;
    options.meter.log.channels = {1, 2};
    options.meter.log.records = 3;
    options.meter.log.values[1] = {1.5F, 2.5F, 3.5F};
    options.meter.log.values[2] = {10.0F, 20.0F, 30.0F};
    open(options);
    window->startUp();
    QTableView* grid = widget<QTableView>("MSHFlexGrid1");
    QStringList menu;
    for (QAction* a : grid->actions()) menu << a->text();
    EXPECT_EQ(menu, (QStringList{"Chart…", "Open log…", "Copy", "Select all", "Add to archive…"}));
    window->openChart(-1);  // nothing downloaded yet
    EXPECT_EQ(window->chartWindow(), nullptr);
    ASSERT_EQ(warnings.size(), 1);

    widget<QPushButton>("Command2")->click();
    auto* copy = grid->findChild<QAction*>("CopyAction");
    ASSERT_NE(copy, nullptr);
    // Records 1 and 2 of both channels (model rows 1-2, columns 1-2).
    const QItemSelection cells(grid->model()->index(1, 1), grid->model()->index(2, 2));
    grid->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "1.5\t10\n2.5\t20\n");
    grid->findChild<QAction*>("SelectAllAction")->trigger();
    copy->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n');
    ASSERT_EQ(lines.size(), 5);  // captions, three records, the last newline
    EXPECT_TRUE(lines[0].startsWith("Date / Time\tFlow m3/h\tTotal m3")) << lines[0].toStdString();
    EXPECT_TRUE(lines[3].endsWith("\t3.5\t30\t\t\t\t\t\t")) << lines[3].toStdString();

    // "Add to archive…" asks for the archive and the meter's name once, keeps them beside the
    // settings, and adds the last download; the same download again adds nothing new.
    QStringList told;
    int asked = 0;
    window->inform = [&](const QString& text) { told << text; };
    window->archiveDialog = [&](QString* archive, QString* meter) {
        ++asked;
        *archive = "office.db";
        *meter = "north";
        return true;
    };
    auto* add = grid->findChild<QAction*>("ArchiveAction");
    ASSERT_NE(add, nullptr);
    add->trigger();
    add->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].contains("as north: 6 new records, 0 already there"))
        << told[0].toStdString();
    EXPECT_TRUE(told[1].contains(": 0 new records, 6 already there")) << told[1].toStdString();
    EXPECT_TRUE(QFile::exists("Tavreldwn.archive"));

    // A double-click on a channel's caption opens the chart on that channel alone.
    emit grid->doubleClicked(grid->model()->index(0, 2));
    ChartWindow* chart = window->chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(chart->chart()->data().records, 3);
    EXPECT_FALSE(chart->chart()->channelVisible(0));
    EXPECT_TRUE(chart->chart()->channelVisible(1));
    EXPECT_EQ(chart->chart()->picture().subject(), QString());

    // "Open log…": a saved log into the grid and the chart, named by its file; a file that is
    // no log is refused and said.
    QTemporaryDir dir;
    const QString saved = dir.filePath("north.csv");
    const QString stamp = window->recordsGrid().text(2, 1);
    ASSERT_TRUE(writeFile(saved, logCsv({"Level m"}, {{stamp, " 7"}})));
    ASSERT_TRUE(writeFile(dir.filePath("notes.csv"), "name,phone\r\n"));
    QAction* open = grid->findChild<QAction*>("OpenLogAction");
    ASSERT_NE(open, nullptr);
    for (const QString& file : {dir.filePath("notes.csv"), saved}) {
        window->openDialog = [file] { return file; };
        open->trigger();
    }
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_TRUE(warnings[1].contains("not a log the tool wrote")) << warnings[1].toStdString();
    EXPECT_EQ(window->recordsGrid().text(1, 2), "Level m");
    EXPECT_EQ(window->recordsGrid().text(2, 2), " 7");
    EXPECT_EQ(window->recordsGrid().text(3, 1), QString());
    EXPECT_EQ(window->chartWindow()->chart()->data().records, 1);  // one record: a point
    EXPECT_EQ(window->chartWindow()->chart()->picture().subject(), "north.csv");
}

#ifndef _WIN32  // a pseudo-terminal and tavrel-sim
// "Find the instrument…" in the settings tab's menu finds a meter on a real pseudo-terminal;
// "Use" sets port, speed and slave ID through the widgets, as a user's choice would.
TEST_F(WindowTest, FindTheInstrumentAndUseIt) {
    SimProcess sim({"--baud", "19200", "--slave", "9", "--records", "5"});
    const QString device = sim.device;
    window->startUp();
    window->findPorts = [&] { return QList<find::Candidate>{{device, QString(), QString()}}; };
    auto* find = widget<QAction>("FindAction");
    find->trigger();
    ASSERT_NE(window->finder(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!window->finder()->running(), 30000);
    auto* results = window->finder()->findChild<QListWidget*>("FindResults");
    ASSERT_EQ(results->count(), 1);
    EXPECT_TRUE(
        results->item(0)->text().startsWith("Meter on " + device + ": 19200 baud, slave ID 9"));
    window->finder()->findChild<QPushButton*>("FindUse")->click();
    EXPECT_TRUE(widget<QRadioButton>("Option1(5)")->isChecked());  // 19200
    EXPECT_TRUE(widget<QRadioButton>("Option2(0)")->isChecked());
    EXPECT_EQ(widget<QLineEdit>("Text1")->text(), "009");
    EXPECT_EQ(readFile("Tavreldwn.ports"), "1=" + device.toUtf8() + "\r\n");
}

#endif

// Windows sharing a folder: the later ones are told at start; at exit one that finds the
// first still open saves beside it, one that finds it gone saves the settings themselves.
TEST_F(WindowTest, ASecondWindowInTheFolderWarnsAndNeverOverwritesTheFirst) {
    window->startUp();
    EXPECT_TRUE(warnings.isEmpty());
    SimRig otherRig;
    DwnLoad1 second(otherRig.link);
    DwnLoad1 third(otherRig.link);
    QStringList laterWarnings;
    for (DwnLoad1* later : {&second, &third}) {
        later->warn = [&](const QString& text) { laterWarnings << text; };
        later->startUp();
    }
    ASSERT_EQ(laterWarnings.size(), 2);
    EXPECT_TRUE(laterWarnings[0].contains("Tavreldwn.ini.conflict"));

    auto slaveLine = [](const char* name) { return readFile(name).split('\n').value(3).trimmed(); };
    widget<QLineEdit>("Text1")->setText("11");
    second.findChild<QLineEdit*>("Text1")->setText("22");
    third.findChild<QLineEdit*>("Text1")->setText("33");
    second.close();
    window->close();
    EXPECT_EQ(slaveLine("Tavreldwn.ini"), QByteArray("[CommSlaveID]=11"));
    EXPECT_EQ(slaveLine("Tavreldwn.ini.conflict"), QByteArray("[CommSlaveID]=22"));
    window.reset();  // the first window's lock goes with it
    third.close();
    EXPECT_EQ(slaveLine("Tavreldwn.ini"), QByteArray("[CommSlaveID]=33"));
}

// A demo download never touches the real files: the demo works in a folder of its own, with
// settings of its own, and says so in the title. The same for a Windows working folder that
// takes no files: settings apart, downloads in the user's documents. Either way the folder the
// window started in keeps its Tavreldwn.ini and Logdata.csv byte for byte, and nothing else.
TEST_F(WindowTest, ADemoDownloadNeverTouchesTheRealFiles) {
    const QString real = dir.filePath("real");
    const QString home = dir.filePath("home");
    const QString local = dir.filePath("local");
#ifdef _WIN32
    const QString demoFolder = home + "/TAVREL/Demo";
#else
    const QString demoFolder = home + "/Tavrel/Demo";
#endif
    QByteArray settings = defaultSettingsBytes();
    settings.replace("[CommSlaveID]=001", "[CommSlaveID]=017");
    // demo; work folder, settings folder
    using Case = std::tuple<bool, QString, QString>;
    for (const auto& [demo, work, kept] :
         {Case{true, demoFolder, demoFolder}, Case{false, home + "/TAVREL", local + "/TAVREL"}}) {
        window.reset();
        QDir::setCurrent(dir.path());  // Windows removes no folder that is in use
        ASSERT_TRUE(QDir(real).removeRecursively() && QDir(home).removeRecursively() &&
                    QDir().mkpath(real));
        ASSERT_TRUE(writeFile(real + "/Tavreldwn.ini", settings));
        ASSERT_TRUE(writeFile(real + "/Logdata.csv", "the real log\r\n"));
        QDir::setCurrent(real);
        // What this start finds, in a user folder of the test's own.
        PlaceInputs in = systemPlaceInputs(demo, false);
        in.documentsFolder = home;
        if (!demo) {
            in.windows = true;
            in.currentTakesFiles = false;
            in.localAppData = local;
        }
        ASSERT_TRUE(applyFilePlaces(placeFiles(in)).isEmpty());
        open();
        if (demo) window->showAsDemo();
        window->startUp();
        EXPECT_EQ(window->windowTitle().endsWith(" (demo)"), demo);
        EXPECT_EQ(widget<QLineEdit>("Text1")->text(), "001");  // not the real settings' 017
        showTab(0);
        widget<QPushButton>("Command2")->click();
        EXPECT_EQ(widget<QLabel>("Label4")->text(), "Finished. Data in File");
        widget<QLineEdit>("Text1")->setText("5");
        window->close();

        EXPECT_EQ(readFile(real + "/Tavreldwn.ini"), settings) << demo;
        EXPECT_EQ(readFile(real + "/Logdata.csv"), "the real log\r\n") << demo;
        EXPECT_EQ(QDir(real).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"Logdata.csv", "Tavreldwn.ini"}));
        EXPECT_EQ(readFile(work + "/Logdata.csv").count("\r\n"), 121) << demo;
        EXPECT_TRUE(readFile(kept + "/Tavreldwn.ini").contains("\r\n[CommSlaveID]=5\r\n")) << demo;
        EXPECT_EQ(QFile::exists(work + "/Tavreldwn.ini"), work == kept) << demo;
    }
}

TEST_F(WindowTest, ClosingDuringAWaitEndsItAndSavesOnce) {
    sim::SimulatedLineOptions silent;
    silent.faults.add(sim::FaultRule{sim::FaultKind::Silence});
    open(silent);
    window->startUp();
    showTab(0);
    rig->pump.onPass = [&] {
        if (rig->now() > 5.0 && window->isVisible()) window->close();
    };
    window->show();
    widget<QPushButton>("Command2")->click();
    EXPECT_LT(rig->now(), 8.0);
    EXPECT_EQ(window->settingsSaves(), 1);
    EXPECT_EQ(widget<QLabel>("Label4")->text(), "Error in Downloading!!");
    EXPECT_TRUE(QFile::exists("Tavreldwn.ini"));
}

TEST_F(WindowTest, DialShowsTheHangUpButtonAndKeepsOtherButtonsOffThePort) {
    sim::SimulatedLineOptions options;
    options.modem = true;
    open(options);
    window->startUp();
    showTab(4);
    QPushButton* command2 = widget<QPushButton>("Command2");
    bool downloadDisabled = true;
    rig->pump.onPass = [&] { downloadDisabled = downloadDisabled && !command2->isEnabled(); };
    widget<QLineEdit>("Text5(0)")->setText("<b>1</b>");  // markup-like text from outside
    widget<QPushButton>("Command4")->click();
    rig->pump.onPass = nullptr;
    EXPECT_TRUE(downloadDisabled);
    EXPECT_TRUE(widget<QPushButton>("Command5")->isVisibleTo(window.get()));
    // The modem's echo and reply as plain lines: no markup taken, line ends kept.
    QLabel* label6 = widget<QLabel>("Label6");
    EXPECT_EQ(label6->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label6->text().contains("ATDT <b>1</b>\n")) << label6->text().toStdString();
    EXPECT_TRUE(label6->text().contains("\nCONNECT 38400\n")) << label6->text().toStdString();
    EXPECT_FALSE(label6->text().contains('\r'));
    EXPECT_EQ(label6->toolTip(), "Line speed: 38400 baud");
    widget<QPushButton>("Command5")->click();
    EXPECT_EQ(widget<QLabel>("Label6")->text(), "Okay");
}

}  // namespace
}  // namespace tavrel::test
