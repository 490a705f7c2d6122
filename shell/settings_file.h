#pragma once
// "Tavreldwn.ini": 35 positional lines in the working directory, read at start into the
// settings widgets (and through their change handlers into the program state) and written back
// from the widgets at exit. The same code serves the window and the headless tool; each hands
// in its own SettingsWidgets.

#include <QByteArray>
#include <QString>
#include <memory>

class QLockFile;

#include "phone_book.h"
#include "program_state.h"

namespace tavrel {

inline const QString kSettingsFileName = QStringLiteral("Tavreldwn.ini");

// The folder of Tavreldwn.ini and the files kept beside it (its lock, the ports and archive
// choices): the working folder unless the window was started where it may keep no files (see
// file_places.h). Empty means the working folder.
void setSettingsFolder(const QString& folder);
// `name` in that folder; a name with a folder of its own stays as it is.
QString settingsPath(const QString& name);

// The widgets the file is read into and written from. Selecting an option or setting a text
// must run the widget's change handler, as the window's widgets do.
class SettingsWidgets {
  public:
    virtual ~SettingsWidgets() = default;
    virtual void selectPortOption(int index) = 0;  // Option2(index)
    virtual int selectedPortOption() const = 0;
    virtual void selectBaudOption(int index) = 0;  // Option1(index)
    virtual int selectedBaudOption() const = 0;
    virtual bool flowControlNone() const = 0;              // Option3(0) selected
    virtual void setSlaveIdText(const QString& text) = 0;  // Text1
    virtual QString slaveIdText() const = 0;
    virtual void setFileNameText(const QString& text) = 0;  // Text2
    virtual QString fileNameText() const = 0;
    virtual PhoneBook& phoneBook() = 0;
    virtual const PhoneBook& phoneBook() const = 0;
};

// Settings widgets without a window: the headless tool and the tests use them.
class PlainSettingsWidgets final : public SettingsWidgets {
  public:
    explicit PlainSettingsWidgets(ProgramState& state) : state_(state) {}
    void selectPortOption(int index) override;
    int selectedPortOption() const override { return port_; }
    void selectBaudOption(int index) override;
    int selectedBaudOption() const override { return baud_; }
    bool flowControlNone() const override { return flowNone_; }
    void setFlowControlNone(bool none) { flowNone_ = none; }
    void setSlaveIdText(const QString& text) override;
    QString slaveIdText() const override { return slaveId_; }
    void setFileNameText(const QString& text) override;
    QString fileNameText() const override { return fileName_; }
    PhoneBook& phoneBook() override { return phoneBook_; }
    const PhoneBook& phoneBook() const override { return phoneBook_; }

  private:
    ProgramState& state_;
    int port_ = 0;
    int baud_ = 6;
    bool flowNone_ = false;
    QString slaveId_ = QStringLiteral("001");
    QString fileName_ = QStringLiteral("Logdata.csv");
    PhoneBook phoneBook_;
};

// The 35 default lines, CR LF each, in the system code page.
QByteArray defaultSettingsBytes();
// The 35 lines as SaveSettings writes them from the widgets.
QByteArray savedSettingsBytes(const SettingsWidgets& widgets);

// Each returns false when the file could not be written; the callers carry on either way.
bool CreateDefaultSettings();
// `fileName` is Tavreldwn.ini of the working directory except for a collect round over another
// folder's phone book.
void LoadSettings(ProgramState& state, SettingsWidgets& widgets,
                  const QString& fileName = kSettingsFileName);
bool SaveSettings(const SettingsWidgets& widgets);
// The same lines to another file (a second window's settings, kept apart).
bool SaveSettingsAs(const SettingsWidgets& widgets, const QString& name);

// Who holds the settings of this folder: one window at a time writes Tavreldwn.ini at exit.
// A lock file beside it names the holder; a second window is told, and saves to
// Tavreldwn.ini.conflict instead, so neither window's phone-book edits are dropped silently.
// A folder that takes no new files (a shared install folder) can hold no lock: nobody is
// told of another window then, and the settings are written in place as ever.
class SettingsLock {
  public:
    enum State { Held, HeldElsewhere, NoLockHere };
    SettingsLock();
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
    // Takes the lock when it is free; `holder` then says who has it or why none can be had.
    State acquire(QString* holder);
    bool held() const { return held_; }

  private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

inline constexpr const char* kConflictSettingsFileName = "Tavreldwn.ini.conflict";

// Start-up: create the file when it is missing, then load it. Returns why nothing will be
// saved at exit (a folder or file the tool may not write), or empty.
QString startUpSettings(ProgramState& state, SettingsWidgets& widgets);

// Exit: where the settings go is decided now, not at start: the lock is taken if its holder
// has gone meanwhile. Returns the file written, or empty when none could be.
QString saveSettingsAtExit(SettingsLock& lock, const SettingsWidgets& widgets);

}  // namespace tavrel
