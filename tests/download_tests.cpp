// The log download: number and entry decoding, the driver's paths against the simulated
// instrument on the virtual clock, the block arithmetic and the CSV file.

#include <gtest/gtest.h>

#include <tuple>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <map>
#include <random>

#include "download_driver.h"
#include "modem.h"
#include "record_decoding.h"
#include "sim_rig.h"
#ifndef _WIN32
#include "small_disk.h"
#endif

namespace tavrel::test {
namespace {

// The instrument's four bytes as a number, and the number's text: seven significant digits,
// "." whatever the locale, no "0" before the point, exponent form beyond.
TEST(DecodeFloat, InstrumentNumbersAndTheirText) {
    using Case = std::tuple<const char*, float, const char*>;
    for (const auto& [bytes, value, text] :
         {Case{"3F 80 00 00", 1.0000001F, " 1"}, Case{"41 20 00 00", 10.000001F, " 10"},
          Case{"43 9D 40 00", 314.50003F, " 314.5"}, Case{"C2 C8 00 00", -100.00001F, "-100"},
          Case{"00 00 00 00", 0.0F, " 0"}, Case{"80 00 00 00", -1e-37F, "-1E-37"},
          Case{"7F 80 00 00", 1e37F, " 1E+37"}, Case{"FF FF FF FF", -1e37F, "-1E+37"},
          Case{"7E 00 00 00", 1e37F, " 1E+37"} /* 4.25E+37 clamps */,
          Case{"3F 00 00 00", 0.50000006F, " .5000001"},
          Case{"BE 80 00 00", -0.25000003F, "-.25"}}) {
        const QByteArray raw = hex(bytes);
        const auto* b = reinterpret_cast<const unsigned char*>(raw.constData());
        const float v = DecodeFloat(b[0], b[1], b[2], b[3]);
        EXPECT_EQ(v, value) << bytes;
        EXPECT_EQ(numberText(v), text) << bytes;
    }
    for (const auto& [value, text] : {std::pair{1234567.0, " 1234567"},
                                      {12345678.0, " 1.234568E+07"},
                                      {0.0001, " .0001"},
                                      {0.00001234, " 1.234E-05"},
                                      {154000.0, " 154000"},
                                      {120.86000061035156, " 120.86"},
                                      {-0.0, " 0"}}) {
        EXPECT_EQ(numberText(value), text) << value;
    }
}

// The grid keeps its texts in pages of its own: whatever mix of writes, rewrites (shorter,
// longer, from another cell's text or its own), texts longer than a page, clears and the
// compaction that follows many rewrites, every cell reads back what was last written, as a plain
// map of strings says.
TEST(FlexGrid, CellsReadBackTheirLastTextThroughRewritesAndClears) {
    FlexGrid grid(600, 4);
    std::map<std::pair<int, int>, QString> model;
    std::mt19937 random(7);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto check = [&](int step) {
        for (int r = 0; r < 600; ++r) {
            for (int c = 0; c < 4; ++c) {
                const auto it = model.find({r, c});
                ASSERT_EQ(grid.text(r, c), it == model.end() ? QString() : it->second)
                    << "step " << step << " cell " << r << "," << c;
            }
        }
    };
    for (int step = 0; step < 20000; ++step) {
        const int row = step < 10000 ? pick(600) : pick(8);  // later: a few cells over and over
        const int col = pick(4);
        const int kind = pick(10);
        QString text;
        if (kind == 0) {
            text = QString(40000 + pick(100), QChar(u'가' + pick(50)));  // more than a page
        } else if (kind == 1) {
            const auto it = model.find({pick(600), pick(4)});  // another cell's text, in place
            if (it != model.end()) {
                grid.setText(row, col, grid.view(it->first.first, it->first.second));
                model[{row, col}] = it->second;
                continue;
            }
        } else if (kind == 2 && model.count({row, col}) != 0) {
            const QString own = model[{row, col}];  // the cell's own text, a part of it
            const int from = pick(static_cast<int>(own.size()) + 1);
            grid.setText(row, col, grid.view(row, col).mid(from));
            model[{row, col}] = own.mid(from);
            continue;
        } else {
            text = QString::number(step) + QString(pick(300), QChar(u'a' + pick(26)));
        }
        if (kind == 3) {
            const QByteArray ascii = text.toLatin1();
            grid.setText(row, col, QLatin1StringView(ascii));
        } else {
            grid.setText(row, col, text);
        }
        model[{row, col}] = text;
        if (step % 5000 == 4999) check(step);
        if (step == 15000) {
            grid.clear();
            model.clear();
            check(step);
        }
    }
    EXPECT_FALSE(grid.setText(600, 0, "x"));
    EXPECT_FALSE(grid.setText(0, 4, QLatin1StringView("x")));
    EXPECT_TRUE(grid.text(600, 0).isEmpty());
}

TEST(CleanText, DropsOnlyTheFillerBytes) {
    EXPECT_EQ(CleanText(QByteArray("AB\xFF"
                                   "C\xFE")),
              QByteArray("ABC"));
    EXPECT_EQ(CleanText(QByteArray("\xFE\xFF\xFF")), QByteArray());
    EXPECT_EQ(CleanText(QByteArray("a\0b\x01", 4)), QByteArray("a\0b\x01", 4));
}

// The short date and long time written out by hand: this suite runs in the C locale, or under
// wine in English (United States), Windows' M/d/yyyy and h:mm:ss tt.
QString cStamp(int month, int day, int hour, int minute) {
#ifdef _WIN32
    QString text = QString::asprintf("%d/%d/2026", month, day);
    if (hour != 0 || minute != 0) {
        text += QString::asprintf(" %d:%02d:00 %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                                  hour < 12 ? "AM" : "PM");
    }
#else
    QString text = QString::asprintf("%02d/%02d/26", month, day);
    if (hour != 0 || minute != 0) text += QString::asprintf(" %02d:%02d:00", hour, minute);
#endif
    return text;
}
QString cStamp(const QDateTime& t) {
    return cStamp(t.date().month(), t.date().day(), t.time().hour(), t.time().minute());
}

class DecodeLogBlockTest : public ::testing::Test {
  protected:
    DecodeLogBlockTest() : grid(kRecordsGridRows, kRecordsGridCols), decoder(grid, row) {
        decoder.setYear(2026);
    }
    FlexGrid grid;
    std::int32_t row = 1;
    LogBlockDecoder decoder;
};

// Channel code 0 would land in column 1, the time stamp's own: the tool drops its value.
TEST_F(DecodeLogBlockTest, EntriesBecomeRowsPerTimeStamp) {
    ASSERT_TRUE(
        decoder.DecodeLogBlock(hex("03 15 09 30 41 20 00 00"
                                   "13 15 09 30 41 20 00 00"
                                   "23 15 09 30 43 9D 40 00"
                                   "C3 99 99 99 FF FF FF FF"
                                   "13 15 09 31 C2 C8 00 00"
                                   "13 15")));  // a trailing partial entry is ignored
    EXPECT_EQ(row, 3);
    EXPECT_EQ(grid.text(2, 0), "1");
    EXPECT_EQ(grid.text(2, 1), cStamp(3, 15, 9, 30));
    EXPECT_EQ(grid.text(2, 2), " 10");
    EXPECT_EQ(grid.text(2, 3), " 314.5");
    EXPECT_EQ(grid.text(3, 0), "2");
    EXPECT_EQ(grid.text(3, 2), "-100");
    EXPECT_TRUE(grid.text(4, 1).isEmpty());
    // The same stamp in the next block is a row of its own; rows past the grid are dropped.
    decoder.DecodeLogBlock(hex("23 15 09 31 41 20 00 00"));
    EXPECT_EQ(row, 4);
    row = kRecordsGridRows - 1;
    decoder.DecodeLogBlock(hex("13 15 10 00 41 20 00 00 13 15 10 15 41 20 00 00"));
    EXPECT_EQ(row, kRecordsGridRows + 1);
    EXPECT_TRUE(grid.text(kRecordsGridRows - 1, 1).isEmpty());
}

TEST_F(DecodeLogBlockTest, InvalidDatesAndTimesKeepTheLastValidOne) {
    decoder.DecodeLogBlock(
        hex("1D 15 09 30 41 20 00 00"     // month 13 before any valid date: skipped
            "13 15 09 30 41 20 00 00"     // 15 March 09:30
            "13 1A 09 45 41 20 00 00"     // day 1A: date stays 15 March
            "12 30 25 00 41 20 00 00"     // 30 February, hour 25: both stay
            "14 01 07 00 41 20 00 00"));  // 1 April 07:00
    EXPECT_EQ(row, 4);
    EXPECT_EQ(grid.text(2, 1), cStamp(3, 15, 9, 30));
    EXPECT_EQ(grid.text(3, 1), cStamp(3, 15, 9, 45));
    EXPECT_EQ(grid.text(4, 1), cStamp(4, 1, 7, 0));
    // An invalid time with no valid one before it in the block is midnight: the date alone.
    decoder.DecodeLogBlock(hex("13 16 24 00 41 20 00 00"));
    EXPECT_EQ(grid.text(5, 1), cStamp(3, 16, 0, 0));
}

// ---- The driver against the simulated instrument ------------------------------------------

struct RecordingView : DownloadView {
    void setDownloadStatus(const QString& text) override { statuses << text; }
    void setProgress(float percent) override { progress.push_back(percent); }
    void setCountText(int index, const QString& text) override {
        counts[static_cast<std::size_t>(index)] = text;
    }
    void setDownloadEnabled(bool enabled) override { enabledChanges.push_back(enabled); }
    void setFailureCause(const QString& text) override { cause = text; }
    QStringList statuses;
    QString cause = "never set";
    std::vector<float> progress;
    std::array<QString, 10> counts;
    std::vector<bool> enabledChanges;
};

struct DownloadRig {
    // `lineBaud` paces the line whatever the port says (0: the port's speed); `modem` puts a
    // modem in front that connects at that speed.
    explicit DownloadRig(const sim::LogShape& shape, int lineBaud = 0, bool modem = false)
        : rig(options(shape, lineBaud, modem)), grid(kRecordsGridRows, kRecordsGridCols) {
        rig.state.DownloadSaveFile = dir.filePath("Logdata.csv");
        driver = std::make_unique<DownloadDriver>(rig.link, grid, view);
    }
    static sim::SimulatedLineOptions options(const sim::LogShape& shape, int lineBaud, bool modem) {
        sim::SimulatedLineOptions o;
        o.meter.log = shape;
        o.baud = lineBaud;
        o.modem = modem;
        o.modemConfig.connectBaud = lineBaud;
        return o;
    }
    std::vector<QByteArray> blockRequests() {
        std::vector<QByteArray> out;
        for (const QByteArray& r : rig.sim.meter().requests()) {
            if (r[1] == 96 && r[2] != 24) out.push_back(r.mid(2, 5));
        }
        return out;
    }
    QByteArray csv() const { return readFile(rig.state.DownloadSaveFile); }
    QTemporaryDir dir;
    SimRig rig;
    FlexGrid grid;
    RecordingView view;
    std::unique_ptr<DownloadDriver> driver;
};

sim::LogShape shapeOf(std::vector<int> channels, int records) {
    sim::LogShape s;
    s.channels = std::move(channels);
    s.records = records;
    return s;
}

TEST(DownloadDriver, AWholeLogLandsInGridBoxesAndCsv) {
    DownloadRig d(shapeOf({1, 2, 3, 4}, 120));
    EXPECT_EQ(d.driver->onDownloadClicked(), 0);
    EXPECT_EQ(d.view.statuses,
              QStringList({"Downloading", "Completed Download.", "Finished. Data in File"}));
    EXPECT_EQ(d.view.enabledChanges, std::vector<bool>({false, true}));
    EXPECT_EQ(d.view.counts[9], " 120");
    EXPECT_EQ(d.view.counts[8], " 123");
    EXPECT_EQ(d.view.counts[0], "Flow m3/h");
    EXPECT_EQ(d.view.counts[4], "Not used");
    EXPECT_EQ(d.rig.state.RecordRow, 121);
    EXPECT_EQ(d.view.progress.back(), 100.0F);

    const sim::LogGenerator& log = d.rig.sim.meter().log();
    const QList<QByteArray> lines = d.csv().split('\n');
    ASSERT_EQ(lines.size(), 122);  // 121 lines and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], QByteArray("Date / Time,Flow m3/h,Total m3,Pressure bar,Temp C\r"));
    for (int i = 0; i < 120; i += 17) {
        // Each line: the stamp, then every value back to within its 7 significant digits.
        const QList<QByteArray> fields = lines[i + 1].chopped(1).split(',');
        ASSERT_EQ(fields.size(), 5) << lines[i + 1].constData();
        const QDateTime t = log.stamp(i);
        EXPECT_EQ(QString::fromLatin1(fields[0]), cStamp(t));
        for (int k = 1; k <= 4; ++k) {
            bool ok = false;
            const double v = fields[k].trimmed().toDouble(&ok);
            ASSERT_TRUE(ok) << fields[k].constData();
            EXPECT_NEAR(v, log.value(k, i), std::fabs(log.value(k, i)) * 5e-7)
                << fields[k].constData();
        }
        EXPECT_EQ(d.grid.text(i + 2, 0), QString::number(i + 1));
    }
}

TEST(DownloadDriver, StatusPaths) {
    struct Case {
        const char* name;
        sim::LogShape shape;
        const char* faults;
        const char* cause;  // the failure in words, beside the unchanged status text
    };
    sim::LogShape empty = shapeOf({1}, 10);
    empty.empty = true;
    const std::vector<Case> cases{
        {"empty log", empty, "", ""},
        {"all channels not used", shapeOf({}, 10), "", "no channel of the log is in use"},
        {"size registers unanswered", shapeOf({1}, 10), "silence:3",
         "reading the log size: no reply"},
        {"size registers garbled", shapeOf({1}, 10), "corrupt-crc:3",
         "reading the log size: bad CRC"},
        {"no set-up record ever", shapeOf({1}, 10), "silence:96",
         "reading the set-up of channel 8: no reply"},
        {"second block fails twice", shapeOf({1}, 320), "silence:96@11",
         "reading the log at byte 1024 of 2560: no reply"},
        {"a block cut short", shapeOf({1}, 320), "truncate=1030:96@10",
         "reading the log at byte 0 of 2560: reply cut short"},
    };
    for (const Case& c : cases) {
        DownloadRig d(c.shape);
        d.view.counts[0] = "earlier";
        ASSERT_TRUE(d.rig.addFaults(c.faults)) << c.name;
        const bool emptyLog = c.shape.empty;  // 1 "0 Records Available", else 2
        EXPECT_EQ(d.driver->onDownloadClicked(), emptyLog ? 1 : 2) << c.name;
        EXPECT_EQ(d.view.statuses.back(),
                  emptyLog ? "0 Records Available" : "Error in Downloading!!")
            << c.name;
        EXPECT_FALSE(QFile::exists(d.rig.state.DownloadSaveFile)) << c.name;
        EXPECT_TRUE(d.grid.redraw()) << c.name;
        EXPECT_EQ(d.view.enabledChanges.back(), true) << c.name;
        EXPECT_EQ(d.view.cause, QString::fromLatin1(c.cause)) << c.name;
        if (emptyLog) {  // one request, grid and boxes left alone
            EXPECT_EQ(d.rig.sim.meter().requestCount(), 1);
            EXPECT_TRUE(d.grid.text(1, 0).isEmpty());
            EXPECT_EQ(d.view.counts[0], "earlier");
        } else if (c.shape.channels.empty()) {  // one empty block request, then the failure
            EXPECT_EQ(d.blockRequests(), std::vector<QByteArray>{hex("08 80 00 00 00")});
            EXPECT_EQ(d.grid.text(1, 0), "Record #");
        }
    }
}

TEST(DownloadDriver, BlockArithmetic) {
    // Records; selector bytes and length of each block request; progress before each block.
    using Case = std::tuple<int, std::vector<const char*>, std::vector<float>>;
    const Case cases[] = {
        {100, {"08 80 00 01 90"}, {0.0F}},
        {128, {"08 80 00 02 00"}, {0.0F}},
        {256, {"08 80 00 02 00", "08 84 00 02 00"}, {0.0F, 50.0F}},
        {320, {"08 80 00 02 00", "08 84 00 02 00", "08 88 00 01 00"}, {0.0F, 40.0F, 80.0F}},
    };
    for (const auto& [records, expected, progress] : cases) {
        DownloadRig d(shapeOf({1}, records));
        EXPECT_EQ(d.driver->onDownloadClicked(), 0) << records;
        const auto requests = d.blockRequests();
        ASSERT_EQ(requests.size(), expected.size()) << records;
        for (std::size_t i = 0; i < requests.size(); ++i)
            EXPECT_EQ(requests[i], hex(expected[i])) << records;
        std::vector<float> blockProgress(d.view.progress.begin() + 1, d.view.progress.end() - 1);
        EXPECT_EQ(blockProgress, progress) << records;
    }
    DownloadRig big(shapeOf({1}, 2100));  // 16800 bytes: the 17th block starts at 16384
    EXPECT_EQ(big.driver->onDownloadClicked(), 0);
    EXPECT_EQ(big.blockRequests()[16], hex("09 80 00 00 D0"));
    EXPECT_EQ(big.rig.state.RecordRow, 2101);
}

// Slow lines are read in smaller blocks that arrive before the request's repeat, decoded as
// the 1024-byte blocks always were: the CSV is the same at every speed, and at 4800 baud and
// above every request is as it always was. Over a modem the telephone line sets the pace.
TEST(DownloadDriver, EverySpeedGivesTheSameCsv) {
    const sim::LogShape shape = shapeOf({1, 2, 3}, 300);  // 24-byte records across 1024 bytes
    DownloadRig reference(shape);
    ASSERT_EQ(reference.driver->onDownloadClicked(), 0);
    // line: the telephone line's speed behind a modem, 0 for a direct line
    // words: length field of each block request but the last
    using Case = std::tuple<const char*, int, int>;
    for (const auto& [port, line, words] :
         {Case{"1200", 0, 128}, Case{"2400", 0, 256}, Case{"4800", 0, 512}, Case{"14400", 0, 512},
          Case{"38400", 2400, 256}}) {
        DownloadRig d(shape, line, line > 0);
        d.rig.state.CommBaud = QString::fromLatin1(port);
        if (line > 0) {
            struct : ModemView {
                void setModemStatus(const QString& text) override { status = text; }
                QString modemStatus() const override { return status; }
                void setHangUpVisible(bool) override {}
                QString status;
            } modemView;
            Modem(d.rig.link, modemView).DialModem("1");
            ASSERT_TRUE(d.rig.sim.modem()->dataMode()) << port;
        }
        ASSERT_EQ(d.driver->onDownloadClicked(), 0) << port << " " << d.view.cause.toStdString();
        EXPECT_EQ(d.csv(), reference.csv()) << port;
        const auto requests = d.blockRequests();
        ASSERT_FALSE(requests.empty());
        for (std::size_t i = 0; i + 1 < requests.size(); ++i) {
            EXPECT_EQ((static_cast<unsigned char>(requests[i][3]) << 8) |
                          static_cast<unsigned char>(requests[i][4]),
                      words)
                << port << " request " << i;
        }
        if (words == 512) {
            EXPECT_EQ(requests, reference.blockRequests()) << port;
        }
        EXPECT_EQ(d.rig.link.counters().failures, 0) << port;
    }
}

TEST(DownloadDriver, TheLargestLogTheGridHolds) {
    DownloadRig d(shapeOf({1, 2, 3, 4, 5, 6, 7, 8}, 16382));  // 1 MiB: log pages 8 to 71
    ASSERT_EQ(d.driver->onDownloadClicked(), 0);
    EXPECT_EQ(d.rig.state.RecordRow, 16383);
    const sim::LogGenerator& log = d.rig.sim.meter().log();
    for (const int i : {0, 8190, 8250, 16381}) {
        const QDateTime t = log.stamp(i);
        EXPECT_EQ(d.grid.text(i + 2, 1), cStamp(t)) << i;
        EXPECT_EQ(d.grid.text(i + 2, 9), numberText(log.value(8, i))) << i;
    }
    EXPECT_EQ(d.csv().count("\r\n"), 16383);
}

TEST(DownloadDriver, GapsAndLateChannelsStayInStep) {
    // Channels 1 and 3 in use; channel 1's set-up record comes only in the second round.
    DownloadRig d(shapeOf({1, 3}, 40));
    d.rig.faults().add("silence@2-3", nullptr);
    EXPECT_EQ(d.driver->onDownloadClicked(), 0);
    EXPECT_EQ(d.grid.text(1, 2), "Flow m3/h");
    EXPECT_EQ(d.grid.text(1, 3), "Pressure bar");
    EXPECT_TRUE(d.rig.state.ChannelInUse[1] && !d.rig.state.ChannelInUse[2] &&
                d.rig.state.ChannelInUse[3]);
    const sim::LogGenerator& log = d.rig.sim.meter().log();
    EXPECT_EQ(d.grid.text(2, 2), numberText(log.value(1, 0)));
    EXPECT_EQ(d.grid.text(2, 3), numberText(log.value(3, 0)));
    EXPECT_EQ(d.csv().split('\n')[0], QByteArray("Date / Time,Flow m3/h,Pressure bar\r"));
}

TEST(DownloadDriver, ThePortVanishingMidDownloadKeepsTheRecordsAndTheNextDownloadWorks) {
    DownloadRig d(shapeOf({1, 2}, 200));
    bool pulled = false;
    d.rig.pump.onPass = [&] {
        if (!pulled && d.rig.state.RecordRow > 60) {
            pulled = true;
            d.rig.sim.port().vanish();
        }
    };
    EXPECT_EQ(d.driver->onDownloadClicked(), 2);
    EXPECT_EQ(d.view.statuses.back(), "Error in Downloading!!");
    EXPECT_EQ(d.rig.state.RecordRow, 65);  // the first 1024-byte block: 64 records
    EXPECT_FALSE(d.grid.text(65, 1).isEmpty());
    d.rig.pump.onPass = nullptr;
    d.rig.sim.port().setPresent(true);  // the adapter is plugged in again
    EXPECT_EQ(d.driver->onDownloadClicked(), 0);
    EXPECT_EQ(d.rig.state.RecordRow, 201);
}

TEST(WriteCsvFile, FieldLayoutAndFailures) {
    QTemporaryDir dir;
    SimRig rig;
    FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
    RecordingView view;
    DownloadDriver driver(rig.link, grid, view);
    ProgramState& s = rig.state;
    for (int c = 0; c < 10; ++c) grid.setText(1, c, QStringLiteral("h%1").arg(c));
    grid.setText(1, 2, "a,b");
    grid.setText(2, 1, "t");
    grid.setText(2, 2, " 1");
    s.ChannelInUse = {false, false, true,  false, false,
                      true,  false, false, false};  // channels 2 and 5
    s.RecordRow = 2;
    s.DownloadSaveFile = dir.filePath("out.csv");
    ASSERT_TRUE(writeFile(s.DownloadSaveFile, "previous contents, longer than the new file\r\n"));
    ASSERT_TRUE(driver.WriteCsvFile());
    EXPECT_EQ(readFile(s.DownloadSaveFile), QByteArray("h1,a,b,h3\r\nt, 1,\r\n"));
    s.ChannelInUse.fill(false);
    s.RecordRow = 1;
    ASSERT_TRUE(driver.WriteCsvFile());
    EXPECT_EQ(readFile(s.DownloadSaveFile), QByteArray("h1\r\n"));

    for (const QString& bad :
         {QString(), dir.filePath("no/such/folder/x.csv"), dir.path(), QString("/dev/full")}) {
        s.DownloadSaveFile = bad;
        EXPECT_FALSE(driver.WriteCsvFile()) << bad.toStdString();
    }
    s.DownloadSaveFile = dir.filePath("beyond.csv");
    s.RecordRow = kRecordsGridRows + 5;
    EXPECT_FALSE(driver.WriteCsvFile());
    EXPECT_EQ(readFile(s.DownloadSaveFile).count("\r\n"), kRecordsGridRows - 1);
}

// A disk that fills during the export: the failure is seen (not lost in a buffer), the status
// says so, and what reached the disk is the start of the file, as documented for the export.
// The CSV lines are put together while the download runs, but the file is the grid as it is
// when it is written: other channels in use, or a cell changed after the download, show.
TEST(WriteCsvFile, TheFileIsTheGridAsItStandsWhenWritten) {
    DownloadRig d(shapeOf({1, 3}, 300));
    ASSERT_EQ(d.driver->DownloadLog(), kDownloadOk);
    ASSERT_TRUE(d.driver->WriteCsvFile());
    const QByteArray whole = d.csv();
    const QList<QByteArray> lines = whole.split('\n');
    ASSERT_EQ(lines.size(), d.rig.state.RecordRow + 1);  // the last is what follows the last LF

    d.rig.state.ChannelInUse[3] = false;
    ASSERT_TRUE(d.driver->WriteCsvFile());
    const QList<QByteArray> narrow = d.csv().split('\n');
    ASSERT_EQ(narrow.size(), lines.size());
    for (qsizetype i = 0; i + 1 < narrow.size(); ++i) {
        const QList<QByteArray> was = lines[i].split(',');
        EXPECT_EQ(narrow[i], was[0] + ',' + was[1] + "\r") << i;
    }
    d.rig.state.ChannelInUse[3] = true;
    ASSERT_TRUE(d.driver->WriteCsvFile());
    EXPECT_EQ(d.csv(), whole);

    d.grid.setText(100, 2, " 42");
    ASSERT_TRUE(d.driver->WriteCsvFile());
    QList<QByteArray> changed = lines;
    QList<QByteArray> fields = changed[99].split(',');
    fields[1] = " 42";
    changed[99] = fields.join(',');
    EXPECT_EQ(d.csv(), changed.join('\n'));
}

#ifndef _WIN32
TEST(WriteCsvFile, AFullDiskIsAFailureAndKeepsTheLinesWritten) {
    DownloadRig d(shapeOf({1, 2, 3, 4, 5, 6, 7, 8}, 2000));  // about 150 KB of CSV
    ASSERT_EQ(d.driver->DownloadLog(), kDownloadOk);
    ASSERT_TRUE(d.driver->WriteCsvFile());
    const QByteArray whole = d.csv();
    const int verdict =
        onFullDisk([] { return true; },
                   [&] {
                       d.rig.state.DownloadSaveFile = "full.csv";
                       return !d.driver->WriteCsvFile() && whole.startsWith(readFile("full.csv"));
                   });
    if (verdict == kNoMount) GTEST_SKIP() << "no tmpfs could be mounted here";
    EXPECT_EQ(verdict, kBodyPassed);
}

#endif

}  // namespace
}  // namespace tavrel::test
