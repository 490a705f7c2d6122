#include "port_map.h"

#include <QFile>

#include "whole_file.h"

namespace tavrel {

QString PortMap::defaultDevice(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString PortMap::deviceFor(int number) const {
    return overrides_.value(number, defaultDevice(number));
}

bool PortMap::addOption(const QString& value, QString* error) {
    const qsizetype eq = value.indexOf(u'=');
    bool ok = false;
    const int number = eq > 0 ? value.left(eq).toInt(&ok) : 0;
    if (!ok || number < 1 || number > 255 || eq + 1 >= value.size()) {
        if (error != nullptr) {
            *error =
                QStringLiteral("--port wants N=DEVICE (N a port number), not \"%1\"").arg(value);
        }
        return false;
    }
    set(number, value.mid(eq + 1));
    return true;
}

void PortMap::loadFile(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty() && !text.startsWith(u'#')) addOption(text, nullptr);
    }
}

bool PortMap::saveMapping(const QString& name, int number, const QString& device) {
    QStringList lines;
    QFile old(name);
    if (old.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : old.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (!text.isEmpty() && !text.startsWith(QString::number(number) + u'='))
                lines.append(text);
        }
    }
    lines.append(QStringLiteral("%1=%2").arg(number).arg(device));
    return writeWholeFile(name,
                          (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

}  // namespace tavrel
