// The Windows branches, run under wine: the ANSI code page, the user's date and time text, the
// time of day, the COM device names and the settings file's CR LF in the code page.

#include <gtest/gtest.h>

#include <windows.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include "clock.h"
#include "local_text.h"
#include "record_decoding.h"
#include "serial_comm_port.h"
#include "settings_file.h"

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

}  // namespace
}  // namespace tavrel::test
