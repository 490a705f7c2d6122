#include "meters.h"

#include "comm_port.h"

#include <QStringDecoder>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include "local_text.h"
#include "port_map.h"
#include "program_handlers.h"
#include "settings_file.h"

namespace tavrel::collect {

namespace {

bool nameChar(QChar c) { return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.'; }

// A name is any text a technician can write on one line.
bool validName(const QString& name) {
    if (name.trimmed().isEmpty()) return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control) return false;
    return true;
}

// The first field of a meters line: a word, or a text in double quotes with \" and \\ inside.
// Empty `name` (and `rest` untouched) when a quote is not closed.
void splitName(const QString& line, QString* name, QString* rest) {
    name->clear();
    if (!line.startsWith(u'"')) {
        const qsizetype end = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        *name = end < 0 ? line : line.left(end);
        *rest = end < 0 ? QString() : line.mid(end).trimmed();
        return;
    }
    QString out;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\' && i + 1 < line.size()) {
            out += line[++i];
        } else if (c == u'"') {
            *name = out;
            *rest = line.mid(i + 1).trimmed();
            return;
        } else {
            out += c;
        }
    }
}

}  // namespace

QString lineKey(const QString& where) {
    if (where.startsWith(QStringLiteral("tcp://"), Qt::CaseInsensitive)) return where.toLower();
    const QString resolved = QFileInfo(where).canonicalFilePath();
    return resolved.isEmpty() ? where : resolved;
}

QString meterFolder(const QString& name) {
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool edgeDot = c == u'.' && (i == 0 || i + 1 == name.size());
        // A pair of UTF-16 halves is one character of its own: kept whole or encoded whole.
        const qsizetype n = c.isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString one = name.mid(i, n);
        if (n == 1 && nameChar(c) && !edgeDot && !c.isSurrogate()) {
            out += c;
        } else {
            for (const char b : one.toUtf8())
                out += QStringLiteral("%%1")
                           .arg(static_cast<unsigned char>(b), 2, 16, QChar(u'0'))
                           .toUpper();
        }
        i += n - 1;
    }
    return out;
}

namespace {
// A meters file is the technician's own text: UTF-8 as today's editors write it (Notepad
// included), else the system code page.
QString metersLineText(const QByteArray& line) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(line);
    return utf8.hasError() ? decodeLocal(line) : text;
}
}  // namespace

bool parseMeters(const QByteArray& text, const QString& fileName, QList<Meter>* meters,
                 QString* error) {
    QSet<QString> names;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        auto fail = [&](const QString& what) {
            *error = QStringLiteral("%1:%2: %3").arg(fileName).arg(i + 1).arg(what);
            return false;
        };
        const QString line = metersLineText(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        QString name;
        QString rest;
        splitName(line, &name, &rest);
        if (line.startsWith(u'"') && name.isNull())
            return fail(QStringLiteral("the quoted name is not closed"));
        const QStringList fields = QStringList{name} + rest.split(blanks, Qt::SkipEmptyParts);
        if (fields.size() < 2)
            return fail(
                QStringLiteral("want NAME WHERE [baud=B] [slave=ID] "
                               "[dial=NUMBER]"));
        Meter m;
        m.name = fields[0];
        m.where = fields[1];
        if (!validName(m.name))
            return fail(
                QStringLiteral("a meter's name cannot be blank or hold control characters"));
        if (names.contains(m.name)) return fail(QStringLiteral("a second \"%1\"").arg(m.name));
        if (m.where.contains(u'='))
            return fail(QStringLiteral("WHERE is missing before \"%1\"").arg(m.where));
        // A device server's address is checked now: a wrong one is a mistake in the file,
        // never something to retry all night.
        if (m.where.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive)) {
            QString why;
            if (parseDeviceServer(m.where, QStringLiteral("38400,N,8,1"), why).host.isEmpty())
                return fail(why);
        }
        for (qsizetype f = 2; f < fields.size(); ++f) {
            const QString key = fields[f].section(u'=', 0, 0);
            const QString value = fields[f].section(u'=', 1);
            if (!fields[f].contains(u'=') || value.isEmpty())
                return fail(QStringLiteral("\"%1\" is not KEY=VALUE").arg(fields[f]));
            if (key == QStringLiteral("baud")) {
                if (!baudCaptions().contains(value)) {
                    return fail(QStringLiteral("baud=%1: not one of %2")
                                    .arg(value, baudCaptions().join(u' ')));
                }
                m.baud = value;
            } else if (key == QStringLiteral("slave")) {
                bool ok = false;
                m.slave = value.toInt(&ok);
                if (!ok || m.slave < 0 || m.slave > 255)
                    return fail(QStringLiteral("slave=%1: not a number from 0 to 255").arg(value));
            } else if (key == QStringLiteral("dial")) {
                m.phone = value;
            } else {
                return fail(QStringLiteral("unknown field \"%1\" (baud, slave or dial)").arg(key));
            }
        }
        names.insert(m.name);
        meters->append(m);
    }
    if (meters->isEmpty()) {
        *error = QStringLiteral("%1: no meters in the file").arg(fileName);
        return false;
    }
    return true;
}

QList<Meter> metersFromBook(const QString& fileName, const QString& where) {
    ProgramState state;
    PlainSettingsWidgets widgets(state);
    LoadSettings(state, widgets, fileName);
    const FlexGrid& grid = widgets.phoneBook().grid();
    QList<Meter> meters;
    QSet<QString> names;
    for (int k = 1; k <= PhoneBook::kEntries; ++k) {
        const QString phone = grid.text(k, 2).trimmed();
        if (phone.isEmpty()) continue;
        Meter m;
        // The description is the meter's name, as the technician wrote it.
        const QString described = grid.text(k, 3).trimmed();
        m.name = validName(described) ? described : QStringLiteral("entry-%1").arg(k);
        if (names.contains(m.name)) m.name += QStringLiteral("-%1").arg(k);
        names.insert(m.name);
        m.where = where.isEmpty() ? PortMap::defaultDevice(state.CommPort) : where;
        if (!state.CommBaud.isEmpty()) m.baud = state.CommBaud;
        m.slave = state.CommSlaveID;
        m.phone = phone;
        meters.append(m);
    }
    return meters;
}

}  // namespace tavrel::collect
