// The collect round's parts: the meters file, meters from the phone book, which line a meter
// is on, and the order of visits with retries and back-off on a clock the test moves.

#include <gtest/gtest.h>

#include <tuple>

#include <QFile>
#include <QTemporaryDir>

#include "meters.h"
#include "schedule.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

using collect::Meter;
using collect::Schedule;

// Blanks and tabs between fields, CR LF line ends, a slave ID. (A comment, the defaults, baud=,
// dial=, tcp:// and a quoted name with its escapes: the collect rounds' meters files.)
TEST(MetersFile, ReadsEveryField) {
    QList<Meter> meters;
    QString error;
    ASSERT_TRUE(collect::parseMeters("\n  east\ttcp://10.0.0.5:4001   baud=9600  slave=17 \r\n",
                                     "m.txt", &meters, &error))
        << error.toStdString();
    ASSERT_EQ(meters.size(), 1);
    EXPECT_EQ(meters[0].name, "east");
    EXPECT_EQ(meters[0].where, "tcp://10.0.0.5:4001");
    EXPECT_EQ(meters[0].baud, "9600");
    EXPECT_EQ(meters[0].slave, 17);
}

TEST(MetersFile, ErrorsNameTheLine) {
    // expected: the start of the error
    using Case = std::tuple<const char*, const char*>;
    const std::vector<Case> cases{
        {"a /dev/x\nlonely\n", "m.txt:2: want NAME WHERE"},
        {"# c\n\"unclosed /dev/x\n", "m.txt:2: the quoted name is not closed"},
        {"\"  \" /dev/x\n", "m.txt:1: a meter's name cannot be blank"},
        {"a /dev/x\n\na /dev/y\n", "m.txt:3: a second \"a\""},
        {"a /dev/x baud=1234\n", "m.txt:1: baud=1234: not one of"},
        {"a /dev/x slave=256\n", "m.txt:1: slave=256: not a number"},
        {"a /dev/x color=red\n", "m.txt:1: unknown field \"color\""},
        {"a baud=9600\n", "m.txt:1: WHERE is missing"},
        {"a /dev/x dial=\n", "m.txt:1: \"dial=\" is not KEY=VALUE"},
        {"# only a comment\n", "m.txt: no meters"},
    };
    for (const auto& [text, expected] : cases) {
        QList<Meter> meters;
        QString error;
        EXPECT_FALSE(collect::parseMeters(text, "m.txt", &meters, &error)) << text;
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(expected))) << error.toStdString();
    }
}

// A name is data: any text names a folder of its own that stays inside the round's folder.
TEST(MetersFile, AnyNameGetsAFolderOfItsOwn) {
    using Case = std::tuple<const char*, const char*>;  // name, its folder
    const std::vector<Case> cases{
        {"north-2_b.x", "north-2_b.x"},
        {"정수장 2", "정수장%202"},
        {"FT-101/A", "FT-101%2FA"},
        {"FT-101_2FA", "FT-101_2FA"},
        {"50%", "50%25"},
        {"..", "%2E%2E"},
        {".hidden.", "%2Ehidden%2E"},
        {"a\\b:c*?\"<&>|", "a%5Cb%3Ac%2A%3F%22%3C%26%3E%7C"},
        {"\xF0\x9F\x8C\x8A", "%F0%9F%8C%8A"},
    };
    QSet<QString> folders;
    for (const auto& [name, folder] : cases) {
        EXPECT_EQ(collect::meterFolder(QString::fromUtf8(name)), QString::fromUtf8(folder)) << name;
        folders.insert(collect::meterFolder(QString::fromUtf8(name)));
    }
    EXPECT_EQ(folders.size(), static_cast<qsizetype>(cases.size()));  // no two share one
}

TEST(MetersFile, LinesOfOneDevice) {
    EXPECT_EQ(collect::lineKey("tcp://Server:4001"), collect::lineKey("TCP://server:4001"));
    EXPECT_NE(collect::lineKey("tcp://server:4001"), collect::lineKey("tcp://server:4002"));
#ifndef _WIN32
    // Two names of one adapter are one line.
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyUSB0");
    const QString byId = dir.filePath("usb-FTDI-if00");
    QFile(device).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(device, byId));
    EXPECT_EQ(collect::lineKey(byId), collect::lineKey(device));
    EXPECT_NE(collect::lineKey(dir.filePath("ttyUSB1")), collect::lineKey(device));
#endif
}

TEST(MetersFile, FromThePhoneBook) {
    QTemporaryDir dir;
    QByteArray ini =
        "[Commport]=2\r\n[CommBaud]=9600\r\n[CommFlow]=Hardware\r\n[CommSlaveID]=017\r\n"
        "[DownloadSaveFile]=Logdata.csv\r\n";
    const char* entries[10][2] = {
        {"5551234", "North"}, {" ", " "}, {"777", "North"}, {"888", ""}, {" ", "x"},
        {" ", " "},           {" ", " "}, {" ", " "},       {" ", " "},  {"999", "a/b"}};
    for (int k = 0; k < 10; ++k) {
        ini += "[Item#]= " + QByteArray::number(k + 1) + "\r\n[ItemPhone#]=" + entries[k][0] +
               "\r\n[ItemDescription]=" + entries[k][1] + "\r\n";
    }
    const QString name = dir.filePath("Tavreldwn.ini");
    ASSERT_TRUE(writeFile(name, ini));

    const QList<Meter> meters = collect::metersFromBook(name, QString());
    ASSERT_EQ(meters.size(), 4);
    const char* names[] = {"North", "North-3", "entry-4", "a/b"};
    const char* phones[] = {"5551234", "777", "888", "999"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(meters[i].name, QLatin1String(names[i]));
        EXPECT_EQ(meters[i].phone, QLatin1String(phones[i]));
#ifdef _WIN32
        EXPECT_EQ(meters[i].where, "COM2");
#else
        EXPECT_EQ(meters[i].where, "/dev/ttyS1");  // COM2
#endif
        EXPECT_EQ(meters[i].baud, "9600");
        EXPECT_EQ(meters[i].slave, 17);
    }
    EXPECT_EQ(collect::metersFromBook(name, "/dev/ttyUSB3").value(0).where, "/dev/ttyUSB3");
}

TEST(CollectSchedule, OneVisitALineAndNoMoreThanParallel) {
    // Lines: A A B C; at most two at once.
    Schedule s({"A", "A", "B", "C"}, 2, 0, 10);
    EXPECT_EQ(s.startNow(0), (QList<int>{0, 2}));
    EXPECT_EQ(s.startNow(1), QList<int>{});  // full
    s.finished(0, false, 2);
    EXPECT_EQ(s.startNow(2), QList<int>{1});  // A is free again, ahead of C in the list
    s.finished(2, false, 3);
    EXPECT_EQ(s.startNow(3), QList<int>{3});
    s.finished(1, false, 4);
    s.finished(3, false, 4);
    EXPECT_TRUE(s.done());
    EXPECT_EQ(s.retriesUsed(1), 0);
}

TEST(CollectSchedule, AFailedMeterIsTriedAgainLaterWithADoublingBackoff) {
    // Two meters on one modem; the first is busy three times.
    Schedule s({"modem", "modem"}, 4, 2, 10);
    EXPECT_EQ(s.startNow(0), QList<int>{0});
    s.finished(0, true, 5);
    EXPECT_EQ(s.nextReady(), 0.0);            // the other meter waits only for the line
    EXPECT_EQ(s.startNow(5), QList<int>{1});  // not the busy one again at once
    s.finished(1, false, 6);
    EXPECT_EQ(s.nextReady(), 15.0);
    EXPECT_EQ(s.startNow(14.9), QList<int>{});
    EXPECT_EQ(s.startNow(15), QList<int>{0});
    s.finished(0, true, 20);
    EXPECT_EQ(s.nextReady(), 40.0);  // 20 s the second time
    EXPECT_EQ(s.startNow(40), QList<int>{0});
    s.finished(0, true, 41);  // third failure: no retries left
    EXPECT_TRUE(s.done());
    EXPECT_LT(s.nextReady(), 0.0);
    EXPECT_EQ(s.retriesUsed(0), 2);
    EXPECT_EQ(s.backoffAfter(1), 10.0);
    EXPECT_EQ(s.backoffAfter(3), 40.0);
    EXPECT_EQ(s.backoffAfter(30), 160.0);  // capped at sixteen back-offs
}

// Of the meters due, the one due first goes first, not the one first in the list.
TEST(CollectSchedule, TheMeterWaitingLongestGoesFirst) {
    Schedule s({"A", "B", "C"}, 2, 1, 5);
    EXPECT_EQ(s.startNow(0), (QList<int>{0, 1}));
    s.finished(1, true, 1);  // meter 1 may go again from 6
    s.finished(0, true, 3);  // meter 0 from 8
    EXPECT_EQ(s.startNow(3), QList<int>{2});
    EXPECT_EQ(s.startNow(9), QList<int>{1});  // one place left, both due
    s.finished(1, false, 10);
    EXPECT_EQ(s.startNow(10), QList<int>{0});
    EXPECT_EQ(collect::distinctLines({"A", "B", "A"}), 2);
}

}  // namespace
}  // namespace tavrel::test
