#pragma once
// The tool's one window: five tabs of widgets wired to the core. Widgets carry the object
// names the tool's documents give them ("Text4(0)", "Command2", ...), so tests find them.

#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>

#include "download_driver.h"
#include "find_dialog.h"
#include "front_panel.h"
#include "language.h"
#include "log_chart.h"
#include "modem.h"
#include "settings_file.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace tavrel {

class GridModel;
class Link;

class DwnLoad1 final : public QMainWindow,
                       public SettingsWidgets,
                       public DownloadView,
                       public PanelView,
                       public ModemView,
                       public PhoneBookEditors {
    Q_OBJECT
  public:
    explicit DwnLoad1(Link& link, QWidget* parent = nullptr);
    ~DwnLoad1() override;

    // Start-up after the window is built: settings file ensured and read.
    void startUp();
    // The title says the window works with the simulated instrument, in the demo's own folder.
    void showAsDemo();

    // The save dialog; tests put their own answer in. Returns the chosen file, or empty for a
    // cancel.
    std::function<QString(const QString& proposed)> saveDialog;
    // Tells the user something the window cannot show in its own widgets (a message box; tests
    // put their own in).
    std::function<void(const QString& text)> warn;
    // Asks which archive and meter name "Add to archive…" uses (filled with the last answer);
    // false for a cancel. Tests put their own answer in.
    std::function<bool(QString* archive, QString* meter)> archiveDialog;
    // Tells the user how an action went (a message box; tests read it).
    std::function<void(const QString& text)> inform;
    // The ports "Find the instrument…" searches (the machine's serial devices; tests name
    // their own).
    std::function<QList<find::Candidate>()> findPorts;
    // "Find the instrument…": the search window, and what "Use" does with a meter found.
    void openFinder();
    FindDialog* finder() const { return finder_; }
    void useFound(const find::Hit& hit);

    FlexGrid& recordsGrid() { return records_; }
    // The chart of the records grid, on one channel (0-based) or all (-1); the grid's
    // context menu and a double-click on a channel's header open it.
    void openChart(int channel);
    ChartWindow* chartWindow() const { return chartWindow_; }
    // A log the tool saved, into the records grid and the chart ("Open log…", `tavrel FILE`);
    // false with `error` for a file that is not such a log.
    bool openLog(const QString& file, QString* error);
    // The open dialog of "Open log…"; tests put their own answer in.
    std::function<QString()> openDialog;
    FrontPanel& frontPanel() { return panel_; }
    DownloadDriver& downloadDriver() { return driver_; }
    Modem& modem() { return modem_; }
    QTimer& timer1() { return timer1_; }
    int settingsSaves() const { return saves_; }
    // The translators the language choice of the settings tab's context menu switches, and the
    // choice in force at start (nothing: the system's).
    void useTranslations(Translations* translations, std::optional<Language> chosen);
    // The title bar's text in the language of the moment.
    static QString windowTitleText();

    // SettingsWidgets
    void selectPortOption(int index) override;
    int selectedPortOption() const override;
    void selectBaudOption(int index) override;
    int selectedBaudOption() const override;
    bool flowControlNone() const override;
    void setSlaveIdText(const QString& text) override;
    QString slaveIdText() const override;
    void setFileNameText(const QString& text) override;
    QString fileNameText() const override;
    PhoneBook& phoneBook() override { return phoneBook_; }
    const PhoneBook& phoneBook() const override { return phoneBook_; }
    // DownloadView
    void setDownloadStatus(const QString& text) override;
    void setFailureCause(const QString& cause) override;
    void setProgress(float percent) override;
    void setCountText(int index, const QString& text) override;
    void setDownloadEnabled(bool enabled) override;
    void setTransfer(std::int32_t received, std::int32_t total, double secondsLeft) override;
    // PanelView
    void setDisplayLine(int line, const QByteArray& converted) override;
    // ModemView
    void setModemStatus(const QString& text) override;
    QString modemStatus() const override;
    void setHangUpVisible(bool visible) override;
    void setLineSpeed(int baud) override;
    // PhoneBookEditors
    void showPhone(const QString& text) override;
    void showDescription(const QString& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void buildDownloadTab(QWidget* page);
    void buildResultsTab(QWidget* page);
    void buildSettingsTab(QWidget* page);
    void buildPanelTab(QWidget* page);
    void buildModemTab(QWidget* page);
    void wireHandlers();
    // Every caption in the language of the moment.
    void retranslate();
    // The settings tab's language choice: kept beside the settings and in force at once.
    void chooseLanguage(std::optional<Language> choice);
    // The records grid's extras: its context menu, copying, and the chart window.
    void buildGridTools();
    // "Add to archive…": the last download into the archive chosen once.
    void onAddToArchive();

    void onTabChanged(int current);
    void onBrowseClicked();
    void onExitClicked();
    void updatePortButtons();
    // What holds the port, in the window's words.
    static QString operationText(const QString& operation);
    void saveOnce();
    // Runs a handler body so that nothing thrown inside ever leaves the event handler.
    void guarded(const char* what, const std::function<void()>& body);

    Link& link_;
    SettingsLock settingsLock_;
    FlexGrid records_;
    PhoneBook phoneBook_;
    DownloadDriver driver_;
    FrontPanel panel_;
    Modem modem_;
    QTimer timer1_;
    int previousTab_ = 3;
    int saves_ = 0;
    bool saved_ = false;
    bool silentEditors_ = false;
    bool syncingPhoneGrid_ = false;
    QString lastDialogFile_;
    QString modemStatus_;  // Label6's text exactly as the modem sent it
    QPointer<FindDialog> finder_;

    bool demo_ = false;
    Translations* translations_ = nullptr;

    QTabWidget* tabs_ = nullptr;
    QAction* exitItem_ = nullptr;
    QMenu* languageMenu_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* label6_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command4_ = nullptr;
    QPushButton* command5_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    std::array<QLineEdit*, 10> text3_{};
    std::array<QLineEdit*, 4> text4_{};
    std::array<QLineEdit*, 2> text5_{};
    std::array<QRadioButton*, 7> option1_{};
    std::array<QRadioButton*, 4> option2_{};
    std::array<QRadioButton*, 2> option3_{};
    std::array<QPushButton*, 16> command1_{};
    QTableView* grid1_ = nullptr;
    QTableView* grid2_ = nullptr;
    GridModel* model1_ = nullptr;
    GridModel* model2_ = nullptr;
    QPointer<ChartWindow> chartWindow_;
    // The file the grid was last opened from and what it held: the chart names the file while
    // the grid still holds it.
    QString openedFile_;
    LogTable openedLog_;
};

}  // namespace tavrel
