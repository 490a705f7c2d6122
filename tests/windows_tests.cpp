// The Windows branches, run under wine: the ANSI code page, the user's date and time text, the
// time of day, the COM device names and the settings file's CR LF in the code page; the user's
// own folders; the programs' resources as Explorer reads them.

#include <gtest/gtest.h>

#include <windows.h>
// clang-format off
#include <shlobj.h>
#include <knownfolders.h>
// clang-format on

#include <set>
#include <tuple>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTime>

#include "clock.h"
#include "file_places.h"
#include "local_text.h"
#include "record_decoding.h"
#include "serial_comm_port.h"
#include "settings_file.h"
#include "tavrel_version.h"

namespace tavrel::test {
namespace {

TEST(Windows, TheCodePageIsTheSystemsAnsiCodePage) {
    const QString korean = "유량 m3/h";
    // The Korean run says which code page it started wine with.
    const unsigned expected = qEnvironmentVariableIntValue("TAVREL_EXPECT_ACP");
    ASSERT_EQ(GetACP(), expected != 0 ? expected : 1252U);
    if (GetACP() == 949) {
        EXPECT_EQ(encodeLocal(korean), QByteArray("\xC0\xAF\xB7\xAE m3/h"));
        EXPECT_EQ(decodeLocal(QByteArray("\xC0\xFB\xBB\xEA m3")), "적산 m3");
    } else {
        EXPECT_EQ(encodeLocal("Débit °C"), QByteArray("D\xE9"
                                                      "bit \xB0"
                                                      "C"));
    }
    // Bytes the code page cannot decode come back unchanged.
    const QByteArray odd("\x81\xFF caption");
    EXPECT_EQ(encodeLocal(decodeLocal(odd)), odd);
}

TEST(Windows, StampsAreTheUsersShortDateAndLongTime) {
    // The user's own formats, asked of Windows here in another way than the tool does.
    wchar_t date[80];
    wchar_t time[80];
    SYSTEMTIME st{};
    st.wYear = 2026;
    st.wMonth = 3;
    st.wDay = 15;
    st.wHour = 9;
    st.wMinute = 30;
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80), 0);
    ASSERT_GT(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 80), 0);
    const QString expected = QString::fromWCharArray(date) + u' ' + QString::fromWCharArray(time);
    EXPECT_EQ(dateTimeText(QDate(2026, 3, 15), QTime(9, 30)), expected.simplified());
    // wine's default user locale is English (United States): the text as a person writes it.
    if (GetUserDefaultLCID() == 0x0409) {
        EXPECT_EQ(dateTimeText(QDate(2026, 3, 15), QTime(9, 30)), "3/15/2026 9:30:00 AM");
    }
}

TEST(Windows, TimeOfDayIsTheLocalClock) {
    SystemClock clock;
    SYSTEMTIME st{};
    GetLocalTime(&st);
    const double expected = st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond;
    EXPECT_NEAR(clock.timeOfDay(), expected, 2.0);
    EXPECT_EQ(clock.today(), QDate(st.wYear, st.wMonth, st.wDay));
}

TEST(Windows, ComPortsAndDeviceServers) {
    EXPECT_EQ(Win32SerialCommPort::devicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(Win32SerialCommPort::devicePath("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(Win32SerialCommPort::devicePath("\\\\.\\COM3"), "\\\\.\\COM3");
    Win32SerialCommPort absent;
    absent.setCommPort(199);
    absent.setSettings("9600,N,8,1");
    absent.setPortOpen(true);
    EXPECT_FALSE(absent.portOpen());
    EXPECT_EQ(absent.errorText(), "COM199: no such device");
}

TEST(Windows, SettingsAreCrLfLinesInTheCodePage) {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ProgramState state;
    PlainSettingsWidgets widgets(state);
    startUpSettings(state, widgets);
    widgets.phoneBook().grid().setText(1, 3, "정수장");
    ASSERT_TRUE(SaveSettings(widgets));
    QFile f(kSettingsFileName);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.count("\r\n"), 35);
    EXPECT_TRUE(bytes.contains("[ItemDescription]=" + encodeLocal("정수장") + "\r\n"));
    QDir::setCurrent(previous);
}

// The folders the window falls back to are the user's own, as Windows names them (asked here
// through the shell's known folders and the environment, not through Qt).
TEST(Windows, TheUsersOwnFolders) {
    PWSTR documents = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents), S_OK);
    const QString expected = QDir::fromNativeSeparators(QString::fromWCharArray(documents));
    CoTaskMemFree(documents);
    const PlaceInputs in = systemPlaceInputs(false, false);
    EXPECT_TRUE(in.windows);
    EXPECT_EQ(in.documentsFolder, expected);
    EXPECT_EQ(in.localAppData, QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")));
    EXPECT_EQ(placeFiles(systemPlaceInputs(true, false)).workFolder, expected + "/TAVREL/Demo");
}

// The programs as Explorer shows them: the window a GUI program (no console beside it), the CLI
// a console program; both with the icon from 16 to 256 pixels (under the name Qt gives its
// windows), the version and git commit under Properties > Details, and a manifest with
// per-monitor DPI awareness v2 and common controls 6 but no UTF-8 code page (the tool follows
// the ANSI code page).
TEST(Windows, ProgramsCarryTheirResources) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0U);
    const QDir build = QFileInfo(QString::fromWCharArray(self)).dir().filePath("..");
    using Case = std::tuple<const char*, WORD>;
    for (const auto& [program, subsystem] :
         {Case{"app/tavrel.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI},
          Case{"cli/tavrel-cli.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI}}) {
        const QString path = QDir::toNativeSeparators(build.filePath(program));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << program;
        const QByteArray head = file.read(4096);
        // The PE header's optional header holds the subsystem 68 bytes in, for PE32+ too.
        const auto pe = *reinterpret_cast<const quint32*>(head.constData() + 0x3C);
        ASSERT_EQ(head.mid(pe, 4), QByteArray("PE\0\0", 4)) << program;
        EXPECT_EQ(*reinterpret_cast<const quint16*>(head.constData() + pe + 24 + 68), subsystem)
            << program;

        const std::wstring wide = path.toStdWString();
        const HMODULE image = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(image, nullptr) << program;
        const auto resource = [&](LPCWSTR name, LPCWSTR type) {
            const HRSRC found = FindResourceW(image, name, type);
            if (found == nullptr) return QByteArray();
            return QByteArray(static_cast<const char*>(LockResource(LoadResource(image, found))),
                              static_cast<int>(SizeofResource(image, found)));
        };
        // The icon group: a 6-byte header, then 14 bytes an image (width 0 meaning 256).
        const QByteArray group = resource(L"IDI_ICON1", RT_GROUP_ICON);
        ASSERT_GE(group.size(), 6) << program;
        std::set<int> sizes;
        for (int i = 0; i < *reinterpret_cast<const quint16*>(group.constData() + 4); ++i) {
            const int width = static_cast<unsigned char>(group[6 + 14 * i]);
            sizes.insert(width == 0 ? 256 : width);
        }
        EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 64, 128, 256})) << program;
        const QByteArray manifest = resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
        EXPECT_TRUE(manifest.contains("<dpiAwareness") && manifest.contains(">PerMonitorV2<"))
            << program;
        EXPECT_TRUE(manifest.contains("name=\"Microsoft.Windows.Common-Controls\" version=\"6."))
            << program;
        EXPECT_FALSE(manifest.contains("<activeCodePage")) << program;
        FreeLibrary(image);

        DWORD ignored = 0;
        QByteArray info(static_cast<int>(GetFileVersionInfoSizeW(wide.c_str(), &ignored)), '\0');
        ASSERT_GT(info.size(), 0) << program;
        ASSERT_TRUE(
            GetFileVersionInfoW(wide.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        const auto text = [&](const wchar_t* name) {
            wchar_t* value = nullptr;
            UINT length = 0;
            const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
            return VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value),
                                  &length) &&
                           length > 0
                       ? QString::fromWCharArray(value)
                       : QString();
        };
        EXPECT_EQ(text(L"ProductVersion"), TAVREL_VERSION_TEXT) << program;
        EXPECT_EQ(text(L"Comments"), QStringLiteral("git commit ") + TAVREL_GIT_COMMIT) << program;
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        // "1.09" is 1.9.0.0 to Windows.
        const QStringList parts = QStringLiteral(TAVREL_VERSION).split(u'.');
        EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), parts.value(0).toUInt()) << program;
        EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), parts.value(1).toUInt()) << program;
    }
}

}  // namespace
}  // namespace tavrel::test
