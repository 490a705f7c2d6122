#pragma once
// The instrument's own encodings: its 4-byte numbers, its texts padded with bytes 254/255, and
// its 8-byte log entries (channel code, month, BCD day/hour/minute, value), and the texts the
// tool shows for numbers and time stamps.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>

namespace tavrel {

class FlexGrid;

// Sign, 8-bit exponent (bias 126), 23-bit mantissa with hidden bit, divisor 2^24 - 1.
float DecodeFloat(int b1, int b2, int b3, int b4);

// Drops every byte 254 and 255.
QByteArray CleanText(const QByteArray& text);

// A number as the tool shows it: at most 7 significant digits, a leading blank when not
// negative, no "0" before the point, "." whatever the locale, exponent form "1E+37".
QString numberText(double value);
// The same characters into `out` (room for 32), without a QString; returns how many.
int numberChars(double value, char* out);
// The system's general date-time text: the locale's short date, a blank and its long time; the
// date alone at exactly midnight. Follows the process locale (LC_TIME, and LC_CTYPE for its
// code page), as the CSV and the grid both do.
// Date and time apart, not a QDateTime: no time-zone lookup for a text that has no zone.
QString dateTimeText(QDate d, QTime t);

// dateTimeText with the parts kept: a log has few dates and at most 1440 minutes of the day, so
// a whole download formats each date and each minute once, not every entry.
class StampTexts {
  public:
    // The stamp, valid until the next call.
    QStringView text(QDate d, QTime t);

  private:
    QDate date_;
    QString dateText_;
    std::array<QString, std::size_t{24} * 60> times_{};  // the long time alone, any date
    QString stamp_;  // the last stamp put together, its room kept for the next
};

// Decodes log blocks into the records grid. Channel code k goes into column `columnOf[k]`
// (0 = the channel has no column, its value is dropped).
class LogBlockDecoder {
  public:
    LogBlockDecoder(FlexGrid& grid, std::int32_t& recordRow);

    void setYear(int year) { year_ = year; }
    void setColumns(const std::array<int, 16>& columnOf) { columnOf_ = columnOf; }
    // One block: always takes it in and returns true.
    bool DecodeLogBlock(const QByteArray& block);

  private:
    FlexGrid& grid_;
    std::int32_t& recordRow_;
    int year_ = 2000;
    std::array<int, 16> columnOf_{};
    StampTexts stamps_;
};

}  // namespace tavrel
