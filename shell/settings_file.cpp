#include "settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "leading_number.h"
#include "local_text.h"
#include "whole_file.h"

#include <QLockFile>
#include "program_handlers.h"

namespace tavrel {

namespace {

constexpr int kLines = 35;
// A settings line longer than this is not one the tool wrote; the rest of it is skipped.
constexpr qint64 kMaxLine = qint64{64} * 1024;

QString& settingsFolder() {
    static QString folder;
    return folder;
}

QByteArray crlf(const QString& line) { return encodeLocal(line) + "\r\n"; }

// The line test: the key anywhere in the line, case-sensitive; the value after the first "=",
// or the whole line when it has none.
bool matchLine(const QString& line, const QString& key, QString* value) {
    if (!line.contains(key)) return false;
    const qsizetype eq = line.indexOf(u'=');
    *value = eq < 0 ? line : line.mid(eq + 1);
    return true;
}

// Writes a whole file or nothing: a crash or a full disk during the write leaves the old one.
bool writeWhole(const QString& name, const QByteArray& bytes) {
    const QFileInfo info(name);
    // A file whose owner may not write it was made read-only on purpose: leave it alone
    // (the permission bit, not access(), so this holds for an administrator too).
    if (info.exists() && !info.permissions().testFlag(QFileDevice::WriteOwner)) return false;
    // A folder that refuses the temporary file still lets the file itself be rewritten, as
    // the settings always were.
    return writeWholeFile(name, bytes, nullptr, InPlace::WhenFolderRefuses);
}

QStringList readLines(const QString& name) {
    QStringList lines;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return lines;
    // One buffer for all lines (not one the size of the limit per line).
    QByteArray buffer(kMaxLine + 1, '\0');
    while (lines.size() < kLines && !file.atEnd()) {
        const qint64 n = file.readLine(buffer.data(), kMaxLine + 1);
        if (n <= 0) break;  // read error
        QByteArray raw(buffer.constData(), static_cast<qsizetype>(n));
        if (!raw.endsWith('\n')) {
            // Overlong line: skip to its end.
            char c = 0;
            while (file.getChar(&c) && c != '\n') {
            }
        }
        while (raw.endsWith('\n') || raw.endsWith('\r')) raw.chop(1);
        lines.append(decodeLocal(raw));
    }
    return lines;
}

}  // namespace

void setSettingsFolder(const QString& folder) { settingsFolder() = folder; }

QString settingsPath(const QString& name) {
    return settingsFolder().isEmpty() ? name : QDir(settingsFolder()).filePath(name);
}

void PlainSettingsWidgets::selectPortOption(int index) {
    port_ = index;
    onPortOption(state_, index);
}

void PlainSettingsWidgets::selectBaudOption(int index) {
    baud_ = index;
    onBaudOption(state_, index);
}

void PlainSettingsWidgets::setSlaveIdText(const QString& text) {
    slaveId_ = text;
    onSlaveIdChanged(state_, text);
}

void PlainSettingsWidgets::setFileNameText(const QString& text) {
    fileName_ = text;
    onFileNameChanged(state_, text);
}

QByteArray defaultSettingsBytes() {
    QByteArray out;
    out += crlf(QStringLiteral("[Commport]=1"));
    out += crlf(QStringLiteral("[CommBaud]=38400"));
    out += crlf(QStringLiteral("[CommFlow]=Hardware"));
    out += crlf(QStringLiteral("[CommSlaveID]=001"));
    out += crlf(QStringLiteral("[DownloadSaveFile]=Logdata.csv"));
    for (int k = 1; k <= PhoneBook::kEntries; ++k) {
        out += crlf(QStringLiteral("[Item#]= %1").arg(k));
        out += crlf(QStringLiteral("[ItemPhone#]= "));
        out += crlf(QStringLiteral("[ItemDescription]= "));
    }
    return out;
}

QByteArray savedSettingsBytes(const SettingsWidgets& widgets) {
    const FlexGrid& grid = widgets.phoneBook().grid();
    QByteArray out;
    out += crlf(QStringLiteral("[Commport]=%1").arg(widgets.selectedPortOption() + 1));
    out += crlf(QStringLiteral("[CommBaud]=") + baudCaptions().value(widgets.selectedBaudOption()));
    out += crlf(widgets.flowControlNone() ? QStringLiteral("[CommHandshaking]=none")
                                          : QStringLiteral("[CommHandshaking]=Hardware"));
    out += crlf(QStringLiteral("[CommSlaveID]=") + widgets.slaveIdText());
    out += crlf(QStringLiteral("[DownloadSaveFile]=") + widgets.fileNameText());
    for (int k = 1; k <= PhoneBook::kEntries; ++k) {
        out += crlf(QStringLiteral("[Item#]=") + grid.text(k, 1));
        out += crlf(QStringLiteral("[ItemPhone#]=") + grid.text(k, 2));
        out += crlf(QStringLiteral("[ItemDescription]=") + grid.text(k, 3));
    }
    return out;
}

bool CreateDefaultSettings() {
    return writeWhole(settingsPath(kSettingsFileName), defaultSettingsBytes());
}

bool SaveSettings(const SettingsWidgets& widgets) {
    return writeWhole(settingsPath(kSettingsFileName), savedSettingsBytes(widgets));
}

bool SaveSettingsAs(const SettingsWidgets& widgets, const QString& name) {
    return writeWhole(settingsPath(name), savedSettingsBytes(widgets));
}

SettingsLock::SettingsLock()
    : lock_(
          std::make_unique<QLockFile>(settingsPath(kSettingsFileName + QStringLiteral(".lock")))) {
    lock_->setStaleLockTime(0);  // a holder is stale only when its process is gone
}

SettingsLock::~SettingsLock() = default;

SettingsLock::State SettingsLock::acquire(QString* holder) {
    if (held_) return Held;
    held_ = lock_->tryLock(0);
    if (held_) return Held;
    if (lock_->error() != QLockFile::LockFailedError) {
        if (holder != nullptr) *holder = QStringLiteral("the folder takes no lock file");
        return NoLockHere;
    }
    qint64 pid = 0;
    QString host;
    QString app;
    if (holder != nullptr && lock_->getLockInfo(&pid, &host, &app))
        *holder = QStringLiteral("%1 (process %2 on %3)").arg(app, QString::number(pid), host);
    return HeldElsewhere;
}

QString saveSettingsAtExit(SettingsLock& lock, const SettingsWidgets& widgets) {
    const QString name = lock.acquire(nullptr) == SettingsLock::HeldElsewhere
                             ? QString::fromLatin1(kConflictSettingsFileName)
                             : kSettingsFileName;
    return SaveSettingsAs(widgets, name) ? name : QString();
}

void LoadSettings(ProgramState& state, SettingsWidgets& widgets, const QString& fileName) {
    const QStringList lines = readLines(settingsPath(fileName));
    // A missing line counts as a line without its key.
    auto line = [&](int number) { return lines.value(number - 1); };
    QString value;

    if (matchLine(line(1), QStringLiteral("[Commport]"), &value)) {
        if (const auto port = toInt16(leadingNumber(value))) {
            state.CommPort = *port;
            if (state.CommPort >= 1 && state.CommPort <= 4) {
                widgets.selectPortOption(state.CommPort - 1);
            } else {
                widgets.selectPortOption(0);
                state.CommPort = 1;
            }
        }
    }
    if (matchLine(line(2), QStringLiteral("[CommBaud]"), &value)) {
        state.CommBaud = leadingNumberText(value);
        const qsizetype index = baudCaptions().indexOf(state.CommBaud);
        if (index >= 0) {
            widgets.selectBaudOption(static_cast<int>(index));
        } else {
            state.CommBaud = QStringLiteral("38400");
            widgets.selectBaudOption(6);
        }
    }
    // Line 3 (flow control) is read and not used.
    // Lines 4 and 5 without their keys: the boxes keep their texts, and the program state
    // follows what they show (an ID of 0 would be the broadcast address nothing answers).
    if (matchLine(line(4), QStringLiteral("[CommSlaveID]"), &value)) {
        widgets.setSlaveIdText(value);
        if (const auto id = toInt16(leadingNumber(value))) state.CommSlaveID = *id;
    } else {
        onSlaveIdChanged(state, widgets.slaveIdText());
    }
    if (matchLine(line(5), QStringLiteral("[DownloadSaveFile]"), &value)) {
        state.DownloadSaveFile = value;
        widgets.setFileNameText(state.DownloadSaveFile);
    } else {
        onFileNameChanged(state, widgets.fileNameText());
    }
    PhoneBook& book = widgets.phoneBook();
    book.setupGrid();
    static const QString keys[3] = {QStringLiteral("[Item#]"), QStringLiteral("[ItemPhone#]"),
                                    QStringLiteral("[ItemDescription]")};
    for (int k = 1; k <= PhoneBook::kEntries; ++k) {
        for (int c = 0; c < 3; ++c) {
            if (matchLine(line(3 * k + 3 + c), keys[c], &value))
                book.grid().setText(k, c + 1, value);
        }
    }
    book.showFirstEntry();

    // A line without its key leaves port or baud unset although a button shows selected;
    // the selected button then counts, so the port opens as the window shows.
    if (state.CommPort == 0) onPortOption(state, widgets.selectedPortOption());
    if (state.CommBaud.isEmpty()) onBaudOption(state, widgets.selectedBaudOption());
}

QString startUpSettings(ProgramState& state, SettingsWidgets& widgets) {
    QString why;
    const QFileInfo file(settingsPath(kSettingsFileName));
    if (!file.exists()) {
        if (!CreateDefaultSettings())
            why = QCoreApplication::translate("Settings", "the folder %1 takes no new files")
                      .arg(QDir::toNativeSeparators(file.absolutePath()));
    } else if (!file.isWritable()) {
        why = QCoreApplication::translate("Settings", "%1 is read-only")
                  .arg(QDir::toNativeSeparators(file.absoluteFilePath()));
    }
    LoadSettings(state, widgets);
    // Said in the window's language; the headless tool, which loads no translation, says it
    // in English as it always has.
    return why.isEmpty()
               ? why
               : QCoreApplication::translate(
                     "Settings", "Settings will not be saved: %1; the defaults are in use.")
                     .arg(why);
}

}  // namespace tavrel
