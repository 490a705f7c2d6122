#include "port_map.h"

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

}  // namespace tavrel
