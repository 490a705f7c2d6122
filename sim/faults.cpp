#include "faults.h"

#include <QMap>

#include "sim_crc.h"

namespace tavrel::sim {

namespace {
const QMap<QString, FaultKind>& kinds() {
    static const QMap<QString, FaultKind> map{
        {QStringLiteral("silence"), FaultKind::Silence},
        {QStringLiteral("late"), FaultKind::Late},
        {QStringLiteral("corrupt-crc"), FaultKind::CorruptCrc},
        {QStringLiteral("swap-crc"), FaultKind::SwapCrc},
        {QStringLiteral("truncate"), FaultKind::Truncate},
        {QStringLiteral("extra"), FaultKind::Extra},
        {QStringLiteral("exception"), FaultKind::Exception},
        {QStringLiteral("wrong-slave"), FaultKind::WrongSlave},
        {QStringLiteral("noise"), FaultKind::Noise},
    };
    return map;
}
}  // namespace

QString FaultPlan::help() {
    return QStringLiteral(
        "KIND[=PARAM][:FUNCTION][@FROM[-TO]][/EVERY]  KIND one of silence, late=SECONDS,\n"
        "corrupt-crc, swap-crc, truncate=BYTES, extra=BYTES, exception=CODE, wrong-slave,\n"
        "noise=BYTES; FUNCTION limits it to one function code; FROM-TO to those request\n"
        "numbers (counted from 1; @N alone means from N on); /EVERY to every EVERY-th one.");
}

bool FaultPlan::add(const QString& text, QString* error) {
    FaultRule rule;
    QString rest = text.trimmed();
    auto fail = [&]() {
        if (error != nullptr) *error = QStringLiteral("not a fault rule: \"%1\"").arg(text);
        return false;
    };
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        bool ok = false;
        rule.every = rest.mid(slash + 1).toLong(&ok);
        if (!ok || rule.every < 1) return fail();
        rest = rest.left(slash);
    }
    if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
        const QStringList range = rest.mid(at + 1).split(u'-');
        bool ok1 = false;
        bool ok2 = true;
        rule.from = range.value(0).toLong(&ok1);
        if (range.size() > 1) rule.to = range.value(1).toLong(&ok2);
        if (!ok1 || !ok2 || range.size() > 2 || rule.from < 1) return fail();
        rest = rest.left(at);
    }
    if (const qsizetype colon = rest.indexOf(u':'); colon >= 0) {
        bool ok = false;
        rule.function = rest.mid(colon + 1).toInt(&ok);
        if (!ok) return fail();
        rest = rest.left(colon);
    }
    if (const qsizetype eq = rest.indexOf(u'='); eq >= 0) {
        bool ok = false;
        rule.param = rest.mid(eq + 1).toDouble(&ok);
        if (!ok) return fail();
        rest = rest.left(eq);
    }
    if (!kinds().contains(rest)) return fail();
    rule.kind = kinds().value(rest);
    add(rule);
    return true;
}

QByteArray FaultPlan::apply(long request, int function, QByteArray reply,
                            double* extraDelay) const {
    *extraDelay = 0;
    for (const FaultRule& r : rules_) {
        if (!r.appliesTo(request, function) || reply.isEmpty()) continue;
        const auto n = static_cast<qsizetype>(r.param);
        switch (r.kind) {
            case FaultKind::Silence:
                reply.clear();
                break;
            case FaultKind::Late:
                *extraDelay += r.param;
                break;
            case FaultKind::CorruptCrc:
                reply[reply.size() - 1] = static_cast<char>(reply.back() ^ 0x5A);
                break;
            case FaultKind::SwapCrc:
                std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
                break;
            case FaultKind::Truncate:
                reply.truncate(n);
                break;
            case FaultKind::Extra:
                reply.append(QByteArray(n, '\x55'));
                break;
            case FaultKind::Exception: {
                const int code = r.param > 0 ? static_cast<int>(r.param) : 4;
                reply =
                    sealed(frameOf({static_cast<unsigned char>(reply[0]), function | 0x80, code}));
                break;
            }
            case FaultKind::WrongSlave: {
                QByteArray body = reply.left(reply.size() - 2);
                body[0] = static_cast<char>(body[0] + 1);
                reply = sealed(body);
                break;
            }
            case FaultKind::Noise: {
                QByteArray noise;
                for (qsizetype i = 0; i < n; ++i)
                    noise.append(static_cast<char>((i * 73 + 41) & 0xFF));
                reply.prepend(noise);
                break;
            }
        }
    }
    return reply;
}

}  // namespace tavrel::sim
