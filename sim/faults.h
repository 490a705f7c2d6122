#pragma once
// Fault injection: what the simulated instrument does wrong, to which requests. A rule names a
// fault, an optional parameter, an optional function code and the range of request numbers it
// applies to (requests are counted from 1 over every frame addressed to the instrument).
// Written as text: KIND[=PARAM][:FUNCTION][@FROM[-TO]][/EVERY], e.g. "silence@1-2" (only the
// third request is answered), "truncate=12:96", "late=2.5@4", "corrupt-crc/3" (every third
// request: a meter on a noisy line).

#include <QByteArray>
#include <QString>
#include <vector>

namespace tavrel::sim {

enum class FaultKind {
    Silence,     // no answer
    Late,        // answer PARAM seconds later than usual
    CorruptCrc,  // last CRC byte altered
    SwapCrc,     // the two CRC bytes exchanged
    Truncate,    // only the first PARAM bytes
    Extra,       // PARAM stray bytes after the reply
    Exception,   // exception reply with code PARAM (default 4)
    WrongSlave,  // another slave address, with a valid CRC
    Noise,       // PARAM noise bytes before the reply
};

struct FaultRule {
    FaultKind kind = FaultKind::Silence;
    double param = 0;
    int function = 0;  // 0 = any
    long from = 1;
    long to = 0;     // 0 = no end
    long every = 1;  // only every N-th request number (N, 2N, ...)
    bool appliesTo(long request, int fn) const {
        return request >= from && (to == 0 || request <= to) && request % every == 0 &&
               (function == 0 || function == fn);
    }
};

class FaultPlan {
  public:
    void add(const FaultRule& rule) { rules_.push_back(rule); }
    // Parses one rule; false (with `error`) when the text is not a rule.
    bool add(const QString& text, QString* error);
    void clear() { rules_.clear(); }
    bool empty() const { return rules_.empty(); }

    // What happens to `reply` (the well-formed answer to request number `request`): the bytes
    // to send, possibly empty, and the extra delay before they start.
    QByteArray apply(long request, int function, QByteArray reply, double* extraDelay) const;

    static QString help();

  private:
    std::vector<FaultRule> rules_;
};

}  // namespace tavrel::sim
