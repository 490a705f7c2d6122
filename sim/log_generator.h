#pragma once
// The simulated instrument's data log: which channels are in use and their captions, how many
// records, when the log starts and how often it records, and the 8-byte entries themselves
// (channel code in the high nibble and the plain month in the low one, BCD day/hour/minute,
// the value in the instrument's number format). Values follow smooth, plausible signals.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

namespace tavrel::sim {

struct LogShape {
    std::vector<int> channels{1, 2, 3, 4};  // channels in use, 1..8, in channel order
    std::array<QString, 9> captions{};      // index 1..8; empty = the default caption
    int records = 120;
    QDateTime start{QDate(2026, 3, 15), QTime(9, 30)};
    int intervalMinutes = 15;
    int skipEvery = 0;         // a code-12 entry after every n-th record (0 = none)
    int invalidDateEvery = 0;  // every n-th record carries month 13 in its entries (0 = none)
    bool empty = false;        // log pointers say the log is empty
    int reportedRecords = -1;  // what the record counts say, when not `records`
    // Values a channel logs, record after record, repeated (index 1..8; empty = its signal).
    std::array<std::vector<float>, 9> values{};
    // The code page the instrument keeps its captions in, as iconv names it.
    QByteArray captionCodePage = "UTF-8";
};

class LogGenerator {
  public:
    explicit LogGenerator(const LogShape& shape = {});

    const LogShape& shape() const { return shape_; }
    const QByteArray& bytes() const { return bytes_; }
    bool inUse(int channel) const;
    // The caption the channel's set-up record carries ("Not used" for channels not in use).
    QString caption(int channel) const;
    // The caption's bytes as the set-up record carries them, at most 32.
    QByteArray captionBytes(int channel) const;
    // The value channel `channel` logged in record `index` (0-based), as the instrument stored it.
    float value(int channel, int index) const;
    QDateTime stamp(int index) const;

    // Registers 76..83: the two log pointers and the two record counts.
    std::array<unsigned char, 16> sizeRegisters() const;

    static QString defaultCaption(int channel);

  private:
    LogShape shape_;
    QByteArray bytes_;
};

}  // namespace tavrel::sim
