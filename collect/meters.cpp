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

bool validName(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'.')) return false;
    for (const QChar c : name) {
        if (!nameChar(c)) return false;
    }
    return true;
}

}  // namespace

QString lineKey(const QString& where) {
    if (where.startsWith(QStringLiteral("tcp://"), Qt::CaseInsensitive)) return where.toLower();
    const QString resolved = QFileInfo(where).canonicalFilePath();
    return resolved.isEmpty() ? where : resolved;
}

QString folderName(const QString& text, const QString& fallback) {
    QString name = text.trimmed();
    for (QChar& c : name) {
        if (!nameChar(c)) c = u'_';
    }
    return validName(name) ? name : fallback;
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
        const QStringList fields = line.split(blanks, Qt::SkipEmptyParts);
        if (fields.size() < 2)
            return fail(
                QStringLiteral("want NAME WHERE [baud=B] [slave=ID] "
                               "[dial=NUMBER]"));
        Meter m;
        m.name = fields[0];
        m.where = fields[1];
        if (!validName(m.name)) {
            return fail(QStringLiteral("\"%1\" cannot name a folder (letters, digits, - _ . "
                                       "only, not starting with .)")
                            .arg(m.name));
        }
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
        const QString fallback = QStringLiteral("entry-%1").arg(k);
        m.name = folderName(grid.text(k, 3), fallback);
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
