#include "replay_device.h"

#include <QFile>
#include <QList>

namespace tavrel::sim {

namespace {

// A request is matched among the next few of the recording, so a resend the tool did not make
// this time (or one it did) does not throw the rest of the session off.
constexpr std::size_t kLookAhead = 64;

bool parseStamp(const QByteArray& text, double* seconds) {
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 3) return false;
    bool ok1 = false;
    bool ok2 = false;
    bool ok3 = false;
    *seconds =
        parts[0].toInt(&ok1) * 3600.0 + parts[1].toInt(&ok2) * 60.0 + parts[2].toDouble(&ok3);
    return ok1 && ok2 && ok3;
}

bool parseHex(const QList<QByteArray>& words, qsizetype from, QByteArray* bytes) {
    for (qsizetype i = from; i < words.size(); ++i) {
        if (words[i] == "!") break;  // the cause of a failed reply follows
        bool ok = false;
        const int b = words[i].toInt(&ok, 16);
        if (!ok || b < 0 || b > 255 || words[i].size() != 2) return false;
        bytes->append(static_cast<char>(b));
    }
    return true;
}

}  // namespace

bool parseTrace(const QByteArray& text, std::vector<TraceEvent>* events, QString* error) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || !lines[0].trimmed().startsWith("# tavrel trace 1")) {
        *error = QStringLiteral("line 1: not a tavrel trace (no \"# tavrel trace 1\" header)");
        return false;
    }
    double previous = -1;
    double dayOffset = 0;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QByteArray line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> words = line.split(' ');
        double t = 0;
        if (words.size() < 2 || !parseStamp(words[0], &t)) {
            *error = QStringLiteral("line %1: no time stamp").arg(n + 1);
            return false;
        }
        if (t + dayOffset < previous - 43200) dayOffset += 86400;  // the session ran past midnight
        t += dayOffset;
        previous = t;
        const QByteArray& kind = words[1];
        if (kind == "--") continue;  // outcomes and notes
        TraceEvent e;
        e.time = t;
        if (kind == "TX" || kind == "MTX") {
            e.kind = TraceEvent::Request;
        } else if (kind == "RX" || kind == "MRX") {
            e.kind = TraceEvent::Reply;
        } else {
            *error = QStringLiteral("line %1: unknown direction \"%2\"")
                         .arg(n + 1)
                         .arg(QString::fromLatin1(kind));
            return false;
        }
        if (!parseHex(words, 2, &e.bytes)) {
            *error = QStringLiteral("line %1: bad hex bytes").arg(n + 1);
            return false;
        }
        if (e.kind == TraceEvent::Request && e.bytes.isEmpty()) continue;
        events->push_back(e);
    }
    return true;
}

bool readTrace(const QString& path, std::vector<TraceEvent>* events, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return parseTrace(file.readAll(), events, error);
}

ReplayDevice::ReplayDevice(std::vector<TraceEvent> events, double speed)
    : events_(std::move(events)), speed_(speed) {}

void ReplayDevice::receive(unsigned char byte, double at) {
    rx_.append(static_cast<char>(byte));
    // Which recorded request does what came in so far end with?
    std::size_t seen = 0;
    for (std::size_t i = cursor_; i < events_.size() && seen < kLookAhead; ++i) {
        const TraceEvent& e = events_[i];
        if (e.kind != TraceEvent::Request) continue;
        ++seen;
        if (!rx_.endsWith(e.bytes)) continue;
        if (rx_.size() > e.bytes.size()) ++unmatched_;  // bytes before it matched nothing
        rx_.clear();
        ++matched_;
        // Every reply recorded before the next request, after its recorded delay.
        std::size_t j = i + 1;
        for (; j < events_.size() && events_[j].kind == TraceEvent::Reply; ++j) {
            const double delay = speed_ > 0 ? (events_[j].time - e.time) / speed_ : 0.0;
            send(events_[j].bytes, at + std::max(0.0, delay));
        }
        cursor_ = j;
        return;
    }
    if (rx_.size() > 4096) {  // nothing will match this; start afresh
        rx_.clear();
        ++unmatched_;
    }
}

}  // namespace tavrel::sim
