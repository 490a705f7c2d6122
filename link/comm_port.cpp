#include "comm_port.h"

#include <QStringList>

namespace tavrel {

bool parseLineSettings(const QString& text, LineSettings& out) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return false;
    bool ok = false;
    out.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || out.baud <= 0) return false;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity)) return false;
    out.parity = parity[0].toLatin1();
    out.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || out.dataBits < 5 || out.dataBits > 8) return false;
    out.stopBits = parts[3].trimmed().toInt(&ok);
    return ok && (out.stopBits == 1 || out.stopBits == 2);
}

}  // namespace tavrel
