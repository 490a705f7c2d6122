#include "finder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "crc.h"
#include "local_text.h"
#include "port_map.h"
#include "record_decoding.h"
#include "tcp_comm_port.h"

#ifdef _WIN32
#include <QMap>
// clang-format off
#include <windows.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on
#endif

namespace tavrel::find {

namespace {

using Clock = std::chrono::steady_clock;

#ifndef _WIN32
QString firstLine(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readLine()).trimmed() : QString();
}
#endif

enum class Answer { None, Reply, Exception };

// One request and its reply under `ms`: the reply's frame when it came whole with a good CRC.
Answer transact(CommPort& port, const QByteArray& request, int slave, int ms, QByteArray* reply) {
    port.discardInput();
    port.output(request);
    const int function = static_cast<unsigned char>(request[1]);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    QByteArray in;
    qsizetype expected = function == 3 ? 5 + 2 * static_cast<unsigned char>(request[5]) : -1;
    for (;;) {
        if (port.inBufferCount() > 0) {
            port.setInputLen(0);
            in += port.input();
        }
        if (in.size() >= 2 && (static_cast<unsigned char>(in[1]) & 0x80) != 0) expected = 5;
        if (function == 96 && expected < 0 && in.size() >= 7)
            expected =
                9 + static_cast<unsigned char>(in[5]) * 256 + static_cast<unsigned char>(in[6]);
        if (expected > 0 && in.size() >= expected) break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !port.portOpen()) return Answer::None;
        port.waitForBytes(left);
    }
    const QByteArray frame = in.left(expected);
    const std::uint16_t crc = crc16(frame.chopped(2));
    if (static_cast<unsigned char>(frame[expected - 2]) != (crc & 0xFF) ||
        static_cast<unsigned char>(frame[expected - 1]) != (crc >> 8) ||
        static_cast<unsigned char>(frame[0]) != slave)
        return Answer::None;
    *reply = frame;
    return expected == 5 ? Answer::Exception : Answer::Reply;
}

}  // namespace

int Finder::probeMilliseconds(int baud, int requestBytes, int replyBytes) {
    // 10 bits a byte; the instrument answers after 3.5 characters of silence and some work of
    // its own; a USB adapter holds bytes up to 16 ms.
    const double line = (requestBytes + replyBytes + 4) * 10.0 / std::max(baud, 300);
    return static_cast<int>(std::ceil(line * 1000.0)) + 60;
}

int portNumberOf(const QString& device) {
    for (int n = 1; n <= 4; ++n)
        if (device == PortMap::defaultDevice(n)) return n;
    return 0;
}

QList<int> likelyBauds(const QList<int>& wanted) {
    QList<int> all =
        wanted.isEmpty() ? QList<int>{1200, 2400, 4800, 9600, 14400, 19200, 38400} : wanted;
    QList<int> out;
    for (const int first : {38400, 9600, 19200})
        if (all.contains(first)) out.append(first);
    for (const int b : all)
        if (!out.contains(b)) out.append(b);
    return out;
}

QList<int> likelySlaves(int first, int last) {
    QList<int> out;
    for (int id = std::max(first, 1); id <= std::min(last, 10); ++id) out.append(id);
    for (int id = first; id <= last; ++id)
        if (!out.contains(id)) out.append(id);
    return out;
}

bool parseSlaves(const QString& text, QList<int>* out) {
    QList<int> ids;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok1 = false;
        bool ok2 = false;
        const int a = part.section(u'-', 0, 0).toInt(&ok1);
        const int b = part.contains(u'-') ? part.section(u'-', 1).toInt(&ok2) : a;
        if (!ok1 || (part.contains(u'-') && !ok2) || a < 0 || b > 255 || a > b) return false;
        for (const int id : likelySlaves(a, b))
            if (!ids.contains(id)) ids.append(id);
    }
    *out = ids;
    return !ids.isEmpty();
}

QList<Candidate> systemPorts() {
    QList<Candidate> out;
#ifdef _WIN32
    // The COM ports Windows lists, each with the name Device Manager shows for it ("USB Serial
    // Port (COM3)"), else the driver's own.
    QMap<QString, QString> friendly;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
            wchar_t name[256] = {};
            if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<BYTE*>(name), sizeof name,
                                                   nullptr))
                continue;
            const QString text = QString::fromWCharArray(name);
            const qsizetype open = text.lastIndexOf(QStringLiteral("(COM"));
            if (open >= 0) friendly.insert(text.mid(open + 1).chopped(1), text);
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    // Its value names are driver paths ("\\Device\\Serial0"), which QSettings would take for
    // groups: read with the registry calls themselves.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            wchar_t data[64];
            DWORD nameLength = 256;
            DWORD dataBytes = sizeof data;
            DWORD type = 0;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataBytes) != ERROR_SUCCESS)
                break;
            if (type != REG_SZ) continue;
            const QString com = QString::fromWCharArray(data).trimmed().remove(QChar(0));
            const QString driver = QString::fromWCharArray(name, nameLength).section(u'\\', -1);
            out.append({com, QString(), friendly.value(com, driver)});
        }
        RegCloseKey(key);
    }
    std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
        return a.device.mid(3).toInt() < b.device.mid(3).toInt();
    });
#else
    // by-id names first: the names that survive replugging, pointing at the ttyUSB/ttyACM.
    QMap<QString, QString> stable;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        stable.insert(link.canonicalFilePath(), link.absoluteFilePath());
    const QDir sys(QStringLiteral("/sys/class/tty"));
    for (const QString& name : sys.entryList(
             {QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
             QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString node = sys.filePath(name);
        if (!QFileInfo::exists(node + QStringLiteral("/device"))) continue;  // no hardware
        // A ttyS with no UART behind it reports type 0 (unknown).
        if (name.startsWith(QStringLiteral("ttyS")) &&
            firstLine(node + QStringLiteral("/type")) == u'0')
            continue;
        Candidate c;
        c.device = QStringLiteral("/dev/") + name;
        c.stable = stable.value(c.device);
        for (const char* up : {"/device/../..", "/device/.."}) {
            const QString maker =
                firstLine(node + QLatin1String(up) + QStringLiteral("/manufacturer"));
            const QString model = firstLine(node + QLatin1String(up) + QStringLiteral("/product"));
            if (!maker.isEmpty() || !model.isEmpty()) {
                c.label = (maker + u' ' + model).trimmed();
                break;
            }
        }
        if (QFileInfo::exists(c.device)) out.append(c);
    }
#endif
    return out;
}

void Finder::report(const Hit& hit) {
    const std::lock_guard<std::mutex> guard(lock_);
    hits_.append(hit);
    if (onHit) onHit(hit);
}

void Finder::probePort(const Candidate& candidate, const FindOptions& options,
                       const std::atomic<bool>& stop) {
    std::unique_ptr<CommPort> own;
    if (makePort) {
        own = makePort(candidate);
    } else {
        PortMap map;
        map.set(1, candidate.device);
        own = std::make_unique<MappedCommPort>(map);
    }
    CommPort& port = *own;
    port.setCommPort(1);
    port.setBinaryMode(true);
    const bool server = candidate.device.startsWith(QStringLiteral("tcp://"));
    // IDs 1 to 10 at every speed first, then the rest: a forgotten speed with a usual ID is
    // found in seconds, a forgotten ID as well costs the full scan.
    QList<int> usual;
    QList<int> rest;
    for (const int id : options.slaves) (id >= 1 && id <= 10 ? usual : rest).append(id);
    int lineBaud = 0;    // the speed something answered at: the line's
    QList<int> refused;  // speeds the driver would not run at: another speed may well work
    QString refusal;
    for (const QList<int>& ids : {usual, rest}) {
        for (const int baud : options.bauds) {
            if (ids.isEmpty() || (lineBaud != 0 && baud != lineBaud) || refused.contains(baud))
                continue;
            port.setPortOpen(false);
            port.setSettings(QStringLiteral("%1,N,8,1").arg(baud));
            port.setPortOpen(true);
            if (!port.portOpen()) {
                Hit h;
                h.port = candidate;
                h.why = port.errorText();
                if (h.why.contains(QStringLiteral("line settings"))) {
                    refused.append(baud);
                    refusal = h.why;
                    continue;
                }
                h.kind = h.why.contains(QStringLiteral("in use")) ? Hit::PortInUse : Hit::PortError;
                report(h);
                return;
            }
            const int f3ms = probeMilliseconds(baud, 8, 21);
            const int f96ms = probeMilliseconds(baud, 9, 209);
            for (const int slave : ids) {
                if (stop.load()) return;
                if (onProbe) {
                    const std::lock_guard<std::mutex> guard(lock_);
                    onProbe(candidate.device, baud, slave);
                }
                QByteArray reply;
                if (transact(port, withCrc(bytesOf({slave, 3, 0, 76, 0, 8})), slave, f3ms,
                             &reply) != Answer::Reply)
                    continue;
                Hit h;
                h.port = candidate;
                h.baud = baud;
                h.slave = slave;
                const auto b = [&](int i) {
                    return static_cast<int>(static_cast<unsigned char>(reply[i]));
                };
                h.records = static_cast<int>(
                    std::max(0.0F, std::floor(DecodeFloat(b(11), b(12), b(13), b(14)))));
                // This instrument answers its own function 96 with a channel's set-up record.
                for (int k = 1; k <= 8; ++k) {
                    QByteArray record;
                    const QByteArray request =
                        withCrc(bytesOf({slave, 96, 24, 0x80 + k, 0, 0, 100}));
                    Answer a = transact(port, request, slave, f96ms, &record);
                    // Silence is no refusal: once more with time to spare before calling it so.
                    if (a == Answer::None)
                        a = transact(port, request, slave, std::max(4 * f96ms, 1000), &record);
                    if (a != Answer::Reply) {
                        h.kind = Hit::OtherDevice;
                        h.captions.clear();
                        break;
                    }
                    h.captions.append(decodeLocal(CleanText(record.mid(7 + 64, 32))));
                }
                report(h);
                if (h.kind == Hit::Meter && !options.all) return;
                lineBaud = baud;
            }
            // A device server's serial side is its own: one speed is all there is to try.
            if (server) lineBaud = baud;
        }
    }
    // Said only when no speed at all could be set: then the port is of no use.
    if (!refused.isEmpty() && refused.size() == options.bauds.size()) {
        Hit h;
        h.kind = Hit::PortError;
        h.port = candidate;
        h.why = refusal;
        report(h);
    }
}

QList<Hit> Finder::run(const FindOptions& options, const std::atomic<bool>& stop) {
    hits_.clear();
    std::vector<std::unique_ptr<QThread>> threads;
    for (const Candidate& c : options.ports) {
        threads.emplace_back(
            QThread::create([this, c, &options, &stop] { probePort(c, options, stop); }));
        threads.back()->start();
    }
    for (auto& t : threads) {
        while (!t->wait(100)) QCoreApplication::processEvents();
    }
    return hits_;
}

}  // namespace tavrel::find
