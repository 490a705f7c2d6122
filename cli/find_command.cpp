#include "find_command.h"

#include <QFileInfo>
#include <cstdio>

#include "cli_views.h"
#include "finder.h"
#include "port_map.h"
#include "program_handlers.h"
#include "settings_file.h"
#include "stop_signals.h"

namespace tavrel::cli {

namespace {

QString portText(const find::Candidate& c) {
    QString text = c.device;
    QStringList more;
    if (!c.stable.isEmpty()) more << c.stable;
    if (!c.label.isEmpty()) more << c.label;
    if (!more.isEmpty()) text += QStringLiteral(" (") + more.join(QStringLiteral("; ")) + u')';
    return text;
}

QString hitText(const find::Hit& h) {
    switch (h.kind) {
        case find::Hit::Meter:
            return QStringLiteral("Meter on %1: %2 baud, slave ID %3, %4 records; channels: %5")
                .arg(portText(h.port))
                .arg(h.baud)
                .arg(h.slave)
                .arg(h.records)
                .arg(h.captions.join(QStringLiteral(", ")));
        case find::Hit::OtherDevice:
            return QStringLiteral(
                       "Other Modbus device on %1: %2 baud, slave ID %3 (answers "
                       "function 3, not this instrument's function 96)")
                .arg(portText(h.port))
                .arg(h.baud)
                .arg(h.slave);
        case find::Hit::PortInUse:
            return QStringLiteral("%1: in use by another program, skipped").arg(portText(h.port));
        case find::Hit::PortError:
            return QStringLiteral("%1: %2, skipped").arg(portText(h.port), h.why);
    }
    return {};
}

// The hit into Tavreldwn.ini as the window would save those choices: the port option, the
// speed option, the slave ID. A device that is not COM1..COM4 becomes port 1, mapped in
// Tavreldwn.ports to its stable name.
bool save(const find::Hit& h, QString* said) {
    ProgramState state;
    PlainSettingsWidgets widgets(state);
    startUpSettings(state, widgets);
    const QString device = h.port.device;
    int number = find::portNumberOf(device);
    if (number == 0) {
        number = 1;
        const QString kept = h.port.kept();
        if (!PortMap::saveMapping(kPortsFileName, number, kept)) return false;
        *said = QStringLiteral("port 1 is %1 (kept in %2)").arg(kept, kPortsFileName);
    } else {
        *said = QStringLiteral("port %1").arg(number);
    }
    widgets.selectPortOption(number - 1);
    widgets.selectBaudOption(static_cast<int>(baudCaptions().indexOf(QString::number(h.baud))));
    widgets.setSlaveIdText(QStringLiteral("%1").arg(h.slave, 3, 10, QLatin1Char('0')));
    *said += QStringLiteral(", %1 baud, slave ID %2").arg(h.baud).arg(widgets.slaveIdText());
    return SaveSettings(widgets);
}

}  // namespace

void addFindOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("ports"),
         QStringLiteral("Ports to search: devices or tcp://HOST:PORT, comma-separated (find, "
                        "default: the serial devices this machine has)."),
         QStringLiteral("LIST")},
        {QStringLiteral("bauds"),
         QStringLiteral("Speeds to try (find, default all seven, 38400, 9600, 19200 first)."),
         QStringLiteral("LIST")},
        {QStringLiteral("slaves"),
         QStringLiteral("Slave IDs to try, e.g. 1-247 (find, default 1-247, 1-10 first)."),
         QStringLiteral("RANGE")},
        {QStringLiteral("all"), QStringLiteral("Go on after the first meter of a port (find).")},
        {QStringLiteral("save"),
         QStringLiteral("Keep the meter found in Tavreldwn.ini, as the window would (find).")},
    });
}

int runFindCommand(const QCommandLineParser& parser) {
    find::FindOptions options;
    if (parser.isSet(QStringLiteral("ports"))) {
        for (const QString& p :
             parser.value(QStringLiteral("ports")).split(u',', Qt::SkipEmptyParts))
            options.ports.append({p.trimmed(), QString(), QString()});
    } else {
        options.ports = find::systemPorts();
    }
    if (options.ports.isEmpty())
        return usageError(QStringLiteral("no serial ports here; name them with --ports"));
    QList<int> bauds;
    for (const QString& b : parser.value(QStringLiteral("bauds")).split(u',', Qt::SkipEmptyParts)) {
        if (!baudCaptions().contains(b.trimmed()))
            return usageError(QStringLiteral("--bauds takes ") + baudCaptions().join(u','));
        bauds.append(b.trimmed().toInt());
    }
    options.bauds = find::likelyBauds(bauds);
    options.slaves = find::likelySlaves(1, 247);
    if (parser.isSet(QStringLiteral("slaves")) &&
        !find::parseSlaves(parser.value(QStringLiteral("slaves")), &options.slaves))
        return usageError(QStringLiteral("--slaves wants IDs from 0 to 255, e.g. 1-247 or 7"));
    options.all = parser.isSet(QStringLiteral("all"));

    const bool terminal = stderrIsTerminal();
    std::atomic<bool> stop{false};
    const collect::StopSignals interrupt([&stop] { stop = true; });
    find::Finder finder;
    finder.onProbe = [terminal](const QString& port, int baud, int slave) {
        if (terminal)
            std::fprintf(stderr, "\r%-70s",
                         console(QStringLiteral("trying %1 at %2 baud, slave ID %3")
                                     .arg(port)
                                     .arg(baud)
                                     .arg(slave))
                             .constData());
    };
    finder.onHit = [terminal](const find::Hit& h) {
        if (terminal) std::fprintf(stderr, "\r%-70s\r", "");
        std::printf("%s\n", console(hitText(h)).constData());
        std::fflush(stdout);
    };
    std::fprintf(stderr, "Searching %lld port(s)...\n",
                 static_cast<long long>(options.ports.size()));
    const QList<find::Hit> hits = finder.run(options, stop);
    if (terminal) std::fprintf(stderr, "\r%-70s\r", "");
    const auto meter = std::find_if(hits.begin(), hits.end(),
                                    [](const find::Hit& h) { return h.kind == find::Hit::Meter; });
    if (interrupt.fired() || stop.load()) {
        std::fprintf(stderr, "tavrel-cli: find interrupted; what was found so far is above\n");
        return 130;
    }
    if (meter == hits.end()) {
        std::printf("No meter found.\n");
        return 1;
    }
    if (parser.isSet(QStringLiteral("save"))) {
        QString said;
        if (!save(*meter, &said)) {
            std::fprintf(stderr, "tavrel-cli: cannot write %s\n",
                         console(kSettingsFileName).constData());
            return 3;
        }
        std::printf("Saved in %s: %s\n", console(kSettingsFileName).constData(),
                    console(said).constData());
    }
    return 0;
}

}  // namespace tavrel::cli
