#include "log_table.h"

#include <QCoreApplication>

#include <QLocale>
#include <cstring>
#include <ctime>

#include "flex_grid.h"
#include "local_text.h"

namespace tavrel {

namespace {
const QString kStampHeader = QStringLiteral("Date / Time");
}  // namespace

LogTable logTableFromGrid(const FlexGrid& grid) {
    LogTable table;
    int last = 1;
    for (int c = 2; c < grid.cols() && !grid.text(1, c).isEmpty(); ++c) last = c;
    for (int c = 2; c <= last; ++c) table.captions.append(grid.text(1, c));
    for (int r = 2; r < grid.rows() && !grid.text(r, 1).isEmpty(); ++r) {
        QStringList row;
        row.reserve(last);
        for (int c = 1; c <= last; ++c) row.append(grid.text(r, c));
        table.rows.append(row);
    }
    return table;
}

void fillRecordsGrid(FlexGrid& grid, const LogTable& table) {
    grid.setRedraw(false);
    grid.clear();
    grid.setText(1, 0, QStringLiteral("Record #"));
    grid.setText(1, 1, kStampHeader);
    for (qsizetype c = 0; c < table.captions.size(); ++c)
        grid.setText(1, static_cast<int>(c) + 2, table.captions[c]);
    for (int c = 0; c < 2 + table.captions.size(); ++c) grid.setBold(1, c, true);
    grid.setColWidth(0, 1000);  // the widths a download gives
    grid.setColWidth(1, 1800);
    for (int c = 2; c < grid.cols(); ++c) grid.setColWidth(c, 2000);
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const int row = static_cast<int>(r) + 2;
        if (!grid.setText(row, 0, QString::number(r + 1))) break;  // the grid is full
        for (qsizetype c = 0; c < table.rows[r].size(); ++c)
            grid.setText(row, static_cast<int>(c) + 1, table.rows[r][c]);
    }
    grid.setRedraw(true);
}

QByteArray logCsv(const QStringList& captions, const QList<QStringList>& rows) {
    QByteArray out;
    const auto line = [&out](const QStringList& fields) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0) out += ',';
            appendLocal(out, fields[i]);
        }
        out += "\r\n";
    };
    line(QStringList{kStampHeader} + captions);
    for (const QStringList& row : rows) line(row);
    return out;
}

bool readLogCsv(const QByteArray& bytes, LogTable* table, QString* error) {
    const QList<QByteArray> lines = bytes.split('\n');
    const QString header = decodeLocal(lines.value(0)).remove(u'\r');
    const QStringList names = header.split(u',');
    if (names.value(0) != kStampHeader || names.size() < 2) {
        *error = QCoreApplication::translate(
                     "LogTable", "not a log the tool wrote (its first line is not \"%1,...\")")
                     .arg(kStampHeader);
        return false;
    }
    table->captions = names.mid(1);
    table->rows.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& raw = lines[i];
        if (raw.isEmpty() || raw == "\r") continue;
        QStringList fields = decodeLocal(raw).remove(u'\r').split(u',');
        if (fields.size() != names.size()) {
            *error = QStringLiteral("line %1 has %2 fields, the header %3")
                         .arg(i + 1)
                         .arg(fields.size())
                         .arg(names.size());
            return false;
        }
        table->rows.append(fields);
    }
    if (table->rows.isEmpty()) {
        *error = QCoreApplication::translate("LogTable", "the log holds no records");
        return false;
    }
    if (!parseStamp(table->rows.first().first())) {
        *error = QStringLiteral("line 2: \"%1\" is not a time stamp of this locale")
                     .arg(table->rows.first().first());
        return false;
    }
    return true;
}

std::optional<QDateTime> parseStamp(const QString& text) {
    StampReader reader;
    const auto stamp = reader.read(text);
    if (!stamp) return std::nullopt;
    return QDateTime(stamp->date, QTime::fromMSecsSinceStartOfDay(stamp->msecsOfDay), Qt::UTC);
}

std::optional<StampReader::Stamp> StampReader::read(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
#ifdef _WIN32
    const QLocale locale = QLocale::system();
    for (const QString& format :
         {locale.dateFormat(QLocale::ShortFormat) + u' ' + locale.timeFormat(QLocale::LongFormat),
          locale.dateFormat(QLocale::ShortFormat)}) {
        const QDateTime t = QDateTime::fromString(text, format);
        if (t.isValid()) return Stamp{t.date(), t.time().msecsSinceStartOfDay()};
    }
    return std::nullopt;
#else
    QString rest;
    const qsizetype n = dateText_.size();
    if (n > 0 && text.startsWith(dateText_) && (text.size() == n || text[n] == u' ')) {
        rest = text.mid(n + 1);
    } else {
        const QByteArray bytes = encodeLocal(text);
        std::tm tm{};
        const char* end = ::strptime(bytes.constData(), "%x", &tm);
        if (end == nullptr) return std::nullopt;
        const QDate d(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
        if (!d.isValid()) return std::nullopt;
        const auto used = static_cast<qsizetype>(end - bytes.constData());
        if (used < bytes.size() && bytes[used] != ' ') return std::nullopt;
        dateText_ = decodeLocal(bytes.left(used));
        date_ = d;
        rest = used < bytes.size() ? decodeLocal(bytes.mid(used + 1)) : QString();
    }
    if (rest.isEmpty()) return Stamp{date_, 0};  // midnight: the date alone
    if (const auto it = times_.constFind(rest); it != times_.constEnd())
        return Stamp{date_, it.value()};
    const QByteArray bytes = encodeLocal(rest);
    std::tm tm{};
    const char* end = ::strptime(bytes.constData(), "%X", &tm);
    if (end == nullptr || *end != '\0') return std::nullopt;
    const QTime t(tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (!t.isValid()) return std::nullopt;
    times_.insert(rest, t.msecsSinceStartOfDay());
    return Stamp{date_, t.msecsSinceStartOfDay()};
#endif
}

qint64 StampReader::msecs(const Stamp& stamp) {
    constexpr qint64 kEpochDay = 2440588;  // the Julian day of 1970-01-01
    return (stamp.date.toJulianDay() - kEpochDay) * 86400000 + stamp.msecsOfDay;
}

}  // namespace tavrel
