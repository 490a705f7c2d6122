// The tool on machines set up for other countries: the whole download run as a user runs it
// (tavrel-cli against tavrel-sim on a pty) under real installed locales, its CSV checked byte for
// byte against text written out by hand; every installed locale's time stamps; and the line
// settings read back from the terminal for every speed.

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <fcntl.h>
#include <iconv.h>
#include <termios.h>
#include <unistd.h>
#include <QDate>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>

#include "local_text.h"
#include "real_link.h"
#include "record_decoding.h"
#include "serial_comm_port.h"

namespace tavrel::test {
namespace {

bool localeInstalled(const char* name) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool ok = std::setlocale(LC_ALL, name) != nullptr;
    std::setlocale(LC_ALL, previous.c_str());
    return ok;
}

// UTF-8 text in another code page, by the C library's converter (not the tool's).
QByteArray inCodePage(const QByteArray& utf8, const char* page) {
    iconv_t cd = iconv_open(page, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    QByteArray in = utf8;
    QByteArray out(in.size() * 4 + 8, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = static_cast<std::size_t>(in.size());
    std::size_t ol = static_cast<std::size_t>(out.size());
    iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    out.resize(out.size() - static_cast<qsizetype>(ol));
    return out;
}

QByteArray persianDigits(const QByteArray& ascii) {
    static const char* const digits[10] = {"۰", "۱", "۲", "۳", "۴", "۵", "۶", "۷", "۸", "۹"};
    QByteArray out;
    for (const char c : ascii)
        out += c >= '0' && c <= '9' ? QByteArray(digits[c - '0']) : QByteArray(1, c);
    return out;
}

struct LocaleCase {
    const char* locale;
    const char* codePage;  // of the instrument's captions and of the expected file
    // The three stamps (00:00, 09:30, 19:00 on 15 March); %Y and %y stand for the year.
    const char* stamps[3];
};

// The C library's %x and %X of each locale, written out from its locale definitions.
const LocaleCase kLocales[] = {
    {"C", "UTF-8", {"03/15/%y", "03/15/%y 09:30:00", "03/15/%y 19:00:00"}},
    {"en_US.UTF-8", "UTF-8", {"03/15/%Y", "03/15/%Y 09:30:00 AM", "03/15/%Y 07:00:00 PM"}},
    {"de_DE.UTF-8", "UTF-8", {"15.03.%Y", "15.03.%Y 09:30:00", "15.03.%Y 19:00:00"}},
    {"es_ES.UTF-8", "UTF-8", {"15/03/%y", "15/03/%y 09:30:00", "15/03/%y 19:00:00"}},
    {"fa_IR.UTF-8", "UTF-8", {"%y/03/15", "%y/03/15 09:30:00", "%y/03/15 19:00:00"}},
    {"ko_KR.UTF-8",
     "UTF-8",
     {"%Y년 03월 15일", "%Y년 03월 15일 09시 30분 00초", "%Y년 03월 15일 19시 00분 00초"}},
    {"ko_KR.EUC-KR",
     "EUC-KR",
     {"%Y년 03월 15일", "%Y년 03월 15일 09시 30분 00초", "%Y년 03월 15일 19시 00분 00초"}},
};

class LocaleMatrix : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleMatrix, TheDownloadedCsvIsByteForByteTheLocalesText) {
    const LocaleCase& c = GetParam();
    ASSERT_TRUE(localeInstalled(c.locale)) << c.locale << " is not installed (locales-all)";
    SimProcess sim({"--channels", "1,3", "--records", "3", "--start", "2026-03-15T00:00",
                    "--interval", "570", "--values", "1=2.5,-0.125,1234567", "--values",
                    "3=154000,0.0001,12345678", "--caption", "1=유량 m3/h", "--caption",
                    "3=Pressure bar", "--caption-code-page", c.codePage});
    ASSERT_FALSE(sim.device.isEmpty());
    QTemporaryDir dir;
    const CliRun cli =
        runCli(dir.path(), {"download", "--port", sim.device, "--out", "log.csv"},
               {"LANGUAGE=", QStringLiteral("LC_ALL=") + QString::fromLatin1(c.locale)});
    const QByteArray& out = cli.out;
    EXPECT_EQ(cli.exit, 0) << out.constData() << cli.err.constData();

    // The year is the PC's at download time.
    const int year = QDate::currentDate().year();
    const bool persian = QByteArray(c.locale).startsWith("fa_");
    auto stamp = [&](const char* pattern) {
        QByteArray s(pattern);
        s.replace("%Y", QByteArray::number(year));
        s.replace("%y", QByteArray::number(year % 100).rightJustified(2, '0'));
        return persian ? persianDigits(s) : s;
    };
    const QByteArray utf8 = "Date / Time,유량 m3/h,Pressure bar\r\n" + stamp(c.stamps[0]) +
                            ", 2.5, 154000\r\n" + stamp(c.stamps[1]) + ",-.125, .0001\r\n" +
                            stamp(c.stamps[2]) + ", 1234567, 1.234568E+07\r\n";
    EXPECT_EQ(readFile(dir.filePath("log.csv")), inCodePage(utf8, c.codePage));
    // The console speaks the locale's code page too, and the counts keep their ".".
    EXPECT_TRUE(out.contains(inCodePage("Channel 1: 유량 m3/h", c.codePage))) << out.constData();
    EXPECT_TRUE(out.contains("Data records: 3\n")) << out.constData();
}

INSTANTIATE_TEST_SUITE_P(Installed, LocaleMatrix, ::testing::ValuesIn(kLocales),
                         [](const auto& info) {
                             std::string n = info.param.locale;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

TEST(EveryInstalledLocale, StampsHaveNoStrayCharactersAndNumbersKeepTheirDot) {
    QProcess list;
    list.start("locale", {"-a"});
    ASSERT_TRUE(list.waitForFinished(10000));
    const QList<QByteArray> names = list.readAllStandardOutput().split('\n');
    ASSERT_GT(names.size(), 100) << "install locales-all";
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    int checked = 0;
    for (const QByteArray& name : names) {
        if (name.isEmpty() || std::setlocale(LC_ALL, name.constData()) == nullptr) continue;
        ++checked;
        for (const QTime t : {QTime(0, 0), QTime(9, 30), QTime(19, 5)}) {
            const QString s = dateTimeText(QDate(2026, 3, 15), t);
            const bool clean = !s.isEmpty() && s == s.trimmed() && !s.contains(u"  ") &&
                               !s.contains(u"()") && !s.contains(u"[]") &&
                               !s.contains(QChar::ReplacementCharacter) &&
                               std::none_of(s.begin(), s.end(), [](QChar ch) {
                                   return ch.isSurrogate() || ch.category() == QChar::Other_Control;
                               });
            EXPECT_TRUE(clean) << name.constData() << ": \"" << s.toStdString() << "\"";
            // A time of day shows beside the date, midnight shows the date alone.
            const QString date = dateTimeText(QDate(2026, 3, 15), QTime(0, 0));
            EXPECT_EQ(t == QTime(0, 0), s == date) << name.constData();
        }
        EXPECT_EQ(numberText(2.5), " 2.5") << name.constData();
        EXPECT_EQ(numberText(-15000000), "-1.5E+07") << name.constData();
    }
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_GT(checked, 100);
}

// Captions in the Korean code page either way: the EUC-KR download above. Bytes the code page
// cannot read come back as they were.
TEST(LocalText, AKoreanCodePageKeepsWhatItCannotDecode) {
    ASSERT_TRUE(localeInstalled("ko_KR.EUC-KR"));
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "ko_KR.EUC-KR");
    const QByteArray broken = inCodePage("유", "EUC-KR").left(1) + "x\xFF";  // a cut lead byte
    EXPECT_EQ(encodeLocal(decodeLocal(broken)), broken);
    std::setlocale(LC_ALL, previous.c_str());
}

// The terminal as the driver left it: speed and 8N1, read back on the far side through the
// kernel's arbitrary-rate call and its own layout (flags, line discipline, 19 control
// characters, then input and output speed): 14400 is no classic speed and goes that way.
TEST(SerialLineSettings, EverySpeedIsReallySetAnd8N1) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    for (const std::uint32_t baud : {1200U, 2400U, 4800U, 9600U, 14400U, 19200U, 38400U}) {
        RealLink real(device, QString::number(baud));
        ASSERT_TRUE(real.link.OpenCommPort()) << real.port.errorText().toStdString();
        const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        struct {
            std::uint32_t flags[4];
            unsigned char line, cc[19];
            std::uint32_t ispeed, ospeed;
        } t2{};
        static_assert(sizeof t2 == 44);
        ASSERT_EQ(::ioctl(fd, _IOR('T', 0x2A, decltype(t2)), &t2), 0);
        EXPECT_EQ(t2.ospeed, baud);
        EXPECT_EQ(t2.ispeed, baud);
        EXPECT_EQ(t2.flags[2] & CSIZE, static_cast<tcflag_t>(CS8)) << baud;
        EXPECT_EQ(t2.flags[2] & (PARENB | CSTOPB), 0U) << baud;
        ::close(fd);
    }
    ::close(master);
}

// A pty takes every setting, so a driver that keeps its old speed or frame is played here by
// the terminal state it would leave behind.
TEST(SerialLineSettings, ADriverThatKeptItsOldSettingsIsCaught) {
    termios t{};
    t.c_cflag = CS8;
    cfsetospeed(&t, B38400);
    cfsetispeed(&t, B38400);
    const LineSettings wanted{38400, 'N', 8, 1};
    EXPECT_TRUE(termiosMismatch(t, wanted).isEmpty());
    termios slow = t;
    cfsetospeed(&slow, B9600);
    cfsetispeed(&slow, B9600);
    termios seven = t;
    seven.c_cflag = (t.c_cflag & ~CSIZE) | CS7;
    termios even = t;
    even.c_cflag |= PARENB;
    termios two = t;
    two.c_cflag |= CSTOPB;
    for (const termios& kept : {slow, seven, even, two})
        EXPECT_FALSE(termiosMismatch(kept, wanted).isEmpty());
}

}  // namespace
}  // namespace tavrel::test
