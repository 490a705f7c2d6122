#include "comm_port.h"

#include <QUrl>

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

DeviceServerAddress parseDeviceServer(const QString& url, const QString& settings, QString& error) {
    LineSettings ls;
    if (!parseLineSettings(settings, ls)) {
        error = QStringLiteral("bad settings text \"%1\"").arg(settings);
        return {};
    }
    const QUrl parsed(url);
    if (parsed.scheme() != QStringLiteral("tcp") || parsed.host().isEmpty() || parsed.port() <= 0) {
        error = QStringLiteral("%1 is not tcp://HOST:PORT").arg(url);
        return {};
    }
    return {parsed.host(), parsed.port()};
}

}  // namespace tavrel
