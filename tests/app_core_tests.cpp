// The shell without its window: typed numbers, the settings file and the phone book.

#include <gtest/gtest.h>

#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "file_places.h"
#include "files.h"
#include "leading_number.h"
#include "settings_file.h"
#ifndef _WIN32
#include "small_disk.h"
#endif

namespace tavrel::test {
namespace {

TEST(LeadingNumber, ReadsLikeTheToolAlwaysHas) {
    using Case = std::tuple<const char*, double>;
    for (const auto& [text, value] :
         {Case{"001", 1},     Case{" 7", 7},        Case{"12abc", 12},    Case{"", 0},
          Case{"abc", 0},     Case{"2.5", 2.5},     Case{"-3", -3},       Case{"1 2 3", 123},
          Case{"1.5E2", 150}, Case{"1.5d2", 150},   Case{"&H1F", 31},     Case{"&HFFFF", -1},
          Case{"&O17", 15},   Case{"9600.0", 9600}, Case{"\t\n 42x", 42}, Case{"1.2.3", 1.2},
          Case{"+5", 5},      Case{".5", 0.5},      Case{"1e", 1},        Case{"- 4", -4}}) {
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(text)), value) << text;
    }
}

TEST(LeadingNumber, SixteenBitConversionRoundsHalvesToEven) {
    using Case = std::tuple<double, std::optional<std::int16_t>>;
    for (const auto& [value, expected] :
         {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{2.4999, 2}, Case{32767.4, 32767},
          Case{32767.5, std::nullopt}, Case{-32768.0, -32768}, Case{1e300, std::nullopt},
          Case{HUGE_VAL, std::nullopt}}) {
        EXPECT_EQ(toInt16(value), expected) << value;
    }
    EXPECT_EQ(leadingNumberText(" 9600.0"), "9600");
}

// Where the window's files go: the demo apart everywhere; on Windows the user's Documents\TAVREL
// for the Start menu, and the fallback for a working folder that takes no files (said the first
// time only); on Linux the working folder, whatever it is.
TEST(FilePlaces, DemoStartMenuAndAFolderThatTakesNoFiles) {
    const QString docs = "C:/Users/kim/Documents";
    const QString local = "C:/Users/kim/AppData/Local";
    const QString programs = "C:/Program Files/TAVREL";
    // windows, demo, --documents, current, takes files, fallback made before;
    // work folder, settings folder, notice said
    using Case = std::tuple<bool, bool, bool, QString, bool, bool, QString, QString, bool>;
    for (const auto& [windows, demo, documents, current, takes, before, work, settings, said] :
         {Case{false, false, false, "/srv/ro", false, false, "/srv/ro", "", false},
          Case{false, true, false, "/home/kim/Tavrel", true, false, "/home/kim/Tavrel/Demo", "",
               false},
          Case{true, true, false, programs, false, false, docs + "/TAVREL/Demo", "", false},
          Case{true, false, true, programs, false, false, docs + "/TAVREL", "", false},
          Case{true, false, false, "D:/tavrel-zip", true, false, "D:/tavrel-zip", "", false},
          Case{true, false, false, programs, false, false, docs + "/TAVREL", local + "/TAVREL",
               true},
          Case{true, false, false, programs, false, true, docs + "/TAVREL", local + "/TAVREL",
               false}}) {
        PlaceInputs in;
        in.windows = windows;
        in.demo = demo;
        in.documents = documents;
        in.current = current;
        in.currentTakesFiles = takes;
        in.documentsFolder = windows ? docs : QString("/home/kim");
        in.localAppData = local;
        in.fallbackSettingsExist = before;
        const FilePlaces places = placeFiles(in);
        const std::string name = QStringLiteral("%1 %2%3 in %4")
                                     .arg(windows ? "windows" : "linux", demo ? "demo" : "",
                                          documents ? "--documents" : "", current)
                                     .toStdString();
        EXPECT_EQ(places.workFolder, work) << name;
        EXPECT_EQ(places.settingsFolder, settings) << name;
        EXPECT_EQ(!places.notice.isEmpty(), said) << name;
        if (said) {
            // In the system's own spelling of folders (backslashes on Windows).
            EXPECT_TRUE(places.notice.contains(QDir::toNativeSeparators(local + "/TAVREL")) &&
                        places.notice.contains(QDir::toNativeSeparators(docs + "/TAVREL")) &&
                        places.notice.contains(QDir::toNativeSeparators(programs)))
                << places.notice.toStdString();
        }
    }
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(previous); }
    static QByteArray read() { return readFile(kSettingsFileName); }
    static void write(const QByteArray& bytes) { ASSERT_TRUE(writeFile(kSettingsFileName, bytes)); }
    static QByteArray withLine(int number, const QByteArray& line) {
        QList<QByteArray> lines = defaultSettingsBytes().split('\n');
        lines[number - 1] = line + "\r";
        return lines.join('\n');
    }

    QTemporaryDir dir;
    QString previous;
    ProgramState state;
};

TEST_F(SettingsFileTest, LoadThenSaveChangesOnlyLineThree) {
    write(defaultSettingsBytes());
    PlainSettingsWidgets widgets(state);
    LoadSettings(state, widgets);
    ASSERT_TRUE(SaveSettings(widgets));
    const QList<QByteArray> before = defaultSettingsBytes().split('\n');
    const QList<QByteArray> after = read().split('\n');
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        if (i == 2) {
            EXPECT_EQ(after[i], QByteArray("[CommHandshaking]=Hardware\r"));
        } else {
            EXPECT_EQ(after[i], before[i]) << "line " << i + 1;
        }
    }
}

TEST_F(SettingsFileTest, LinesSelectPortBaudAndSlave) {
    struct Case {
        int line;
        const char* text;
        int port;
        const char* baud;
        int slave;
        int portOption, baudOption;
    };
    const Case cases[] = {
        {1, "[Commport]=3", 3, "38400", 1, 2, 6},
        {1, "[Commport]=0", 1, "38400", 1, 0, 6},
        {1, "[Commport]=99999", 1, "38400", 1, 0, 6},  // out of range: the selected button counts
        {1, "[commport]=3", 1, "38400", 1, 0, 6},      // other letter case: not the key
        {2, "[CommBaud]=9600.0", 1, "9600", 1, 0, 3},
        {2, "[CommBaud]= 14400", 1, "14400", 1, 0, 4},
        {2, "[CommBaud]=300", 1, "38400", 1, 0, 6},
        {4, "[CommSlaveID]=017", 1, "38400", 17, 0, 6},
        {4, "[CommSlaveID]=2.5", 1, "38400", 2, 0, 6},
        {3, "garbage without key", 1, "38400", 1, 0, 6},
    };
    for (const Case& c : cases) {
        write(withLine(c.line, c.text));
        ProgramState s;
        PlainSettingsWidgets widgets(s);
        LoadSettings(s, widgets);
        EXPECT_EQ(s.CommPort, c.port) << c.text;
        EXPECT_EQ(s.CommBaud, QString::fromLatin1(c.baud)) << c.text;
        EXPECT_EQ(s.CommSlaveID, c.slave) << c.text;
        EXPECT_EQ(widgets.selectedPortOption(), c.portOption) << c.text;
        EXPECT_EQ(widgets.selectedBaudOption(), c.baudOption) << c.text;
    }
    // A value may hold "=", and is saved back unchanged (so is the slave ID's "001": above).
    write(withLine(8, "[ItemDescription]=a=b"));
    PlainSettingsWidgets widgets(state);
    LoadSettings(state, widgets);
    EXPECT_EQ(widgets.phoneBook().grid().text(1, 3), "a=b");
    ASSERT_TRUE(SaveSettings(widgets));
    EXPECT_TRUE(read().contains("\r\n[ItemDescription]=a=b\r\n"));
}

TEST_F(SettingsFileTest, BadFilesNeverStopTheTool) {
    const QByteArray binary("\x00\xFF\x13\x37\r\n\x00\x00", 8);
    for (const QByteArray& content : {QByteArray(), QByteArray("[Commport]=2\r\n"), binary,
                                      QByteArray(300000, 'x') + "\r\n[CommBaud]=1200\r\n"}) {
        write(content);
        ProgramState s;
        PlainSettingsWidgets widgets(s);
        LoadSettings(s, widgets);
        EXPECT_GE(s.CommPort, 1);
        EXPECT_FALSE(s.CommBaud.isEmpty());
        // Lines 4 and 5 missing: the state is what the boxes show, never slave 0.
        EXPECT_EQ(s.CommSlaveID, 1);
        EXPECT_EQ(s.DownloadSaveFile, widgets.fileNameText());
        EXPECT_TRUE(SaveSettings(widgets));
        EXPECT_EQ(read().count("\r\n"), 35);
    }
    QFile::remove(kSettingsFileName);
    ProgramState s;
    PlainSettingsWidgets widgets(s);
    LoadSettings(s, widgets);  // missing file: the selected buttons count
    EXPECT_EQ(s.CommPort, 1);
}

#ifndef _WIN32
// A real full disk (a tmpfs filled to its last block): the save's buffered write fails only when
// it is flushed, and the old file must still be there byte for byte (a save that wrote over it,
// cut short by a crash or a limit, would leave it half-written).
TEST_F(SettingsFileTest, AFullDiskLeavesTheOldFileByteForByte) {
    const QByteArray before = withLine(7, "[ItemPhone#]=0311234567");
    const int verdict = onFullDisk([&] { return (write(before), read() == before); },
                                   [&] {
                                       PlainSettingsWidgets widgets(state);
                                       LoadSettings(state, widgets);
                                       widgets.setSlaveIdText("7");
                                       return !SaveSettings(widgets) && read() == before &&
                                              !CreateDefaultSettings() && read() == before;
                                   });
    if (verdict == kNoMount) GTEST_SKIP() << "no tmpfs could be mounted here";
    EXPECT_EQ(verdict, kBodyPassed);
}

#endif

TEST_F(SettingsFileTest, ReadOnlySettingsAreLeftAlone) {
    write(defaultSettingsBytes());
    QFile::setPermissions(kSettingsFileName, QFileDevice::ReadOwner);
    PlainSettingsWidgets widgets(state);
    LoadSettings(state, widgets);
    widgets.setSlaveIdText("5");
    EXPECT_FALSE(SaveSettings(widgets));
    EXPECT_EQ(read(), defaultSettingsBytes());
}

#ifndef _WIN32
// A shared install folder: the settings file may be writable while the folder takes no new
// file (no temporary file, no lock). The body runs in a child that really cannot create files
// there (as root it drops to nobody, for whom the folder's mode holds).
TEST_F(SettingsFileTest, AFolderThatTakesNoNewFiles) {
    for (const bool withFile : {true, false}) {
        const QString folder = dir.filePath(withFile ? "with" : "without");
        ASSERT_TRUE(QDir().mkpath(folder));
        if (withFile) {
            QFile f(QDir(folder).filePath(kSettingsFileName));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(defaultSettingsBytes()) > 0);
            f.setPermissions(QFileDevice::Permissions(0x6666));
        }
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(folder).constData(), 0555);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
            if (::chdir(QFile::encodeName(folder).constData()) != 0) ::_exit(4);
            ProgramState s;
            PlainSettingsWidgets widgets(s);
            SettingsLock lock;
            QString holder;
            if (lock.acquire(&holder) != SettingsLock::NoLockHere) ::_exit(5);
            if (folderTakesFiles(folder)) ::_exit(10);
            const QString unsaved = startUpSettings(s, widgets);
            if (s.CommSlaveID != 1 || s.DownloadSaveFile != "Logdata.csv") ::_exit(6);
            if (unsaved.isEmpty() == !withFile) ::_exit(7);
            widgets.setSlaveIdText("9");
            const QString saved = saveSettingsAtExit(lock, widgets);
            if (saved != (withFile ? kSettingsFileName : QString())) ::_exit(8);
            if (withFile != read().contains("\r\n[CommSlaveID]=9\r\n")) ::_exit(9);
            ::_exit(0);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (withFile ? "with" : "without") << " a settings file: step " << WEXITSTATUS(status);
    }
}

#endif

TEST(PhoneBook, WriteThroughEditingFollowsTheCurrentRow) {
    PhoneBook book;
    book.setupGrid();
    for (int k = 1; k <= 10; ++k) {
        book.grid().setText(k, 2, QStringLiteral("phone %1").arg(k));
        book.grid().setText(k, 3, QStringLiteral("site %1").arg(k));
    }
    book.showFirstEntry();
    EXPECT_EQ(book.phoneText(), "phone 1");

    book.selectionChanged(4, 3);
    EXPECT_EQ(book.phoneText(), "phone 4");
    EXPECT_EQ(book.descriptionText(), "site 4");
    EXPECT_EQ(book.grid().col(), 3);
    book.selectionChanged(4, 2);
    EXPECT_EQ(book.grid().col(), 2);

    // Column 1: the boxes keep row 4, but typing writes into row 5.
    book.selectionChanged(5, 1);
    EXPECT_EQ(book.phoneText(), "phone 4");
    book.phoneEdited("0311");
    EXPECT_EQ(book.grid().text(5, 2), "0311");
    EXPECT_EQ(book.grid().text(4, 2), "phone 4");
    book.descriptionEdited("pump house");
    EXPECT_EQ(book.grid().text(5, 3), "pump house");
    EXPECT_EQ(book.grid().col(), 3);
}

}  // namespace
}  // namespace tavrel::test
