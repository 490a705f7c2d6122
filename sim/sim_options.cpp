#include "sim_options.h"

#include <algorithm>

namespace tavrel::sim {

void addSimOptions(QCommandLineParser& p, const QString& prefix) {
    QList<QCommandLineOption> options{
        {QStringLiteral("slave"), QStringLiteral("Modbus slave ID of the instrument (default 1)."),
         QStringLiteral("ID"), QStringLiteral("1")},
        {QStringLiteral("baud"),
         QStringLiteral("Pace the line at this baud rate, 10 bits a byte (0 = no pacing)."),
         QStringLiteral("B"), QStringLiteral("0")},
        {QStringLiteral("channels"),
         QStringLiteral("Channels in use, e.g. 1,2,3,4 (the rest read \"Not used\")."),
         QStringLiteral("LIST"), QStringLiteral("1,2,3,4")},
        {QStringLiteral("caption"), QStringLiteral("Caption of channel K (repeatable)."),
         QStringLiteral("K=TEXT")},
        {QStringLiteral("caption-code-page"),
         QStringLiteral("Code page of the captions, e.g. EUC-KR (default UTF-8)."),
         QStringLiteral("NAME"), QStringLiteral("UTF-8")},
        {QStringLiteral("values"),
         QStringLiteral("Values channel K logs, record after record, repeated (repeatable)."),
         QStringLiteral("K=V1,V2,...")},
        {QStringLiteral("records"), QStringLiteral("Records in the log (default 120)."),
         QStringLiteral("N"), QStringLiteral("120")},
        {QStringLiteral("start"),
         QStringLiteral("Time of the first record, e.g. 2026-03-15T09:30."), QStringLiteral("WHEN"),
         QStringLiteral("2026-03-15T09:30")},
        {QStringLiteral("interval"), QStringLiteral("Minutes between records (default 15)."),
         QStringLiteral("MIN"), QStringLiteral("15")},
        {QStringLiteral("skip-every"),
         QStringLiteral("Put a skip entry (channel code 12) after every N-th record."),
         QStringLiteral("N"), QStringLiteral("0")},
        {QStringLiteral("invalid-date-every"),
         QStringLiteral("Give every N-th record an impossible month."), QStringLiteral("N"),
         QStringLiteral("0")},
        {QStringLiteral("empty-log"), QStringLiteral("The log pointers say the log is empty.")},
        {QStringLiteral("modem"), QStringLiteral("Put a Hayes modem in front of the instrument.")},
        {QStringLiteral("connect-delay"),
         QStringLiteral("Seconds from ATDT to the modem's answer (default 2)."),
         QStringLiteral("S"), QStringLiteral("2")},
        {QStringLiteral("busy"),
         QStringLiteral("The modem answers BUSY when this number is dialed (repeatable)."),
         QStringLiteral("NUMBER")},
        {QStringLiteral("no-carrier"),
         QStringLiteral("The modem answers NO CARRIER for this number (repeatable)."),
         QStringLiteral("NUMBER")},
        {QStringLiteral("modem-lowercase-ok"),
         QStringLiteral("The modem answers \"ok\" instead of \"OK\".")},
        {QStringLiteral("modem-mixed-connect"),
         QStringLiteral("The modem answers \"Connect\" instead of \"CONNECT\".")},
        {QStringLiteral("silent-modem"), QStringLiteral("The modem answers nothing at all.")},
        {QStringLiteral("fault"),
         QStringLiteral("Inject a fault (repeatable): ") + FaultPlan::help(),
         QStringLiteral("RULE")},
    };
    for (QCommandLineOption& o : options) {
        QCommandLineOption named(prefix + o.names().first(), o.description(), o.valueName(),
                                 o.defaultValues().value(0));
        p.addOption(named);
    }
}

bool readSimOptions(const QCommandLineParser& p, SimulatedLineOptions& out, QString* error,
                    const QString& prefix) {
    auto name = [&](const char* n) { return prefix + QLatin1String(n); };
    auto number = [&](const char* name, double lo, double hi, double* value) {
        bool ok = false;
        *value = p.value(prefix + QLatin1String(name)).toDouble(&ok);
        if (!ok || *value < lo || *value > hi) {
            *error = QStringLiteral("--%1 wants a number from %2 to %3")
                         .arg(prefix + QLatin1String(name))
                         .arg(lo)
                         .arg(hi);
            return false;
        }
        return true;
    };
    double v = 0;
    if (!number("slave", 0, 255, &v)) return false;
    out.meter.slave = static_cast<int>(v);
    if (!number("baud", 0, 4000000, &v)) return false;
    out.baud = static_cast<int>(v);
    if (!number("records", 0, 1000000, &v)) return false;
    out.meter.log.records = static_cast<int>(v);
    if (!number("interval", 1, 1440, &v)) return false;
    out.meter.log.intervalMinutes = static_cast<int>(v);
    if (!number("skip-every", 0, 1000000, &v)) return false;
    out.meter.log.skipEvery = static_cast<int>(v);
    if (!number("invalid-date-every", 0, 1000000, &v)) return false;
    out.meter.log.invalidDateEvery = static_cast<int>(v);
    if (!number("connect-delay", 0, 3600, &v)) return false;
    out.modemConfig.connectDelay = v;

    out.meter.log.channels.clear();
    for (const QString& part : p.value(name("channels")).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int k = part.trimmed().toInt(&ok);
        if (!ok || k < 1 || k > 8) {
            *error = QStringLiteral("--channels wants channel numbers 1 to 8, e.g. 1,3");
            return false;
        }
        out.meter.log.channels.push_back(k);
    }
    for (const QString& c : p.values(name("caption"))) {
        const qsizetype eq = c.indexOf(u'=');
        const int k = eq > 0 ? c.left(eq).toInt() : 0;
        if (k < 1 || k > 8) {
            *error = QStringLiteral("--caption wants K=TEXT with K from 1 to 8");
            return false;
        }
        out.meter.log.captions[static_cast<std::size_t>(k)] = c.mid(eq + 1);
    }
    for (const QString& c : p.values(name("values"))) {
        const qsizetype eq = c.indexOf(u'=');
        const int k = eq > 0 ? c.left(eq).toInt() : 0;
        auto& list = out.meter.log.values[static_cast<std::size_t>(std::clamp(k, 0, 8))];
        list.clear();
        bool ok = k >= 1 && k <= 8;
        for (const QString& v : c.mid(eq + 1).split(u',')) {
            bool numberOk = false;
            list.push_back(v.trimmed().toFloat(&numberOk));
            ok = ok && numberOk;
        }
        if (!ok) {
            *error = QStringLiteral("--values wants K=V1,V2,... with K from 1 to 8");
            return false;
        }
    }
    out.meter.log.captionCodePage = p.value(name("caption-code-page")).toLatin1();
    const QDateTime start = QDateTime::fromString(p.value(name("start")), Qt::ISODate);
    if (!start.isValid()) {
        *error = QStringLiteral("--start wants a time such as 2026-03-15T09:30");
        return false;
    }
    out.meter.log.start = start;
    out.meter.log.empty = p.isSet(name("empty-log"));
    out.modem = p.isSet(name("modem"));
    out.modemConfig.busyNumbers = p.values(name("busy"));
    out.modemConfig.noCarrierNumbers = p.values(name("no-carrier"));
    out.modemConfig.lowercaseOk = p.isSet(name("modem-lowercase-ok"));
    out.modemConfig.mixedConnect = p.isSet(name("modem-mixed-connect"));
    out.modemConfig.silent = p.isSet(name("silent-modem"));
    for (const QString& rule : p.values(name("fault"))) {
        if (!out.faults.add(rule, error)) return false;
    }
    return true;
}

}  // namespace tavrel::sim
