// Writes the fuzz targets' seed inputs from the real thing: replies the simulated instrument
// gives to the tool's own requests, log blocks it logs, settings files the tool writes. Run by
// scripts/fuzz.sh; the results are kept in tests/fuzz/corpus.
// Usage: make_seeds DIR   (writes DIR/link_fuzz, DIR/decoder_fuzz, DIR/settings_fuzz)

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

#include "flow_meter.h"
#include "program_handlers.h"
#include "settings_file.h"
#include "sim_crc.h"

namespace {

using namespace tavrel;

void put(const QString& dir, const QString& name, const QByteArray& bytes) {
    QDir().mkpath(dir);
    QFile f(dir + u'/' + name);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray frame(const char* hex) { return sim::sealed(QByteArray::fromHex(hex)); }

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 64;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);

    // link_fuzz: the first byte picks the transaction (0 = function 3 of 10 registers at 24,
    // 1 = function 16 to the key register, 2 = function 96 of 64 words), the rest is the reply.
    sim::FlowMeterConfig config;
    config.log.channels = {1, 2, 3};
    config.log.records = 200;
    sim::FlowMeterSim meter(config);
    const QByteArray requests[3] = {frame("01 03 00 18 00 0A"), frame("01 10 00 D1 00 01 02 31 FF"),
                                    frame("01 60 08 80 00 00 40")};
    for (int choice = 0; choice < 3; ++choice) {
        const QByteArray reply = meter.answer(requests[choice], 1.0);
        put(root + QStringLiteral("/link_fuzz"), QStringLiteral("seed-reply-%1").arg(choice),
            QByteArray(1, static_cast<char>(choice)) + reply);
        // The same reply arriving in pieces a second apart.
        put(root + QStringLiteral("/link_fuzz"), QStringLiteral("seed-slow-%1").arg(choice),
            QByteArray(1, static_cast<char>(choice | 0x50)) + reply);
        const int function = choice == 0 ? 3 : choice == 1 ? 16 : 96;
        put(root + QStringLiteral("/link_fuzz"), QStringLiteral("seed-exception-%1").arg(choice),
            QByteArray(1, static_cast<char>(choice)) +
                sim::sealed(QByteArray::fromHex("01") +
                            QByteArray(1, static_cast<char>(function | 0x80)) +
                            QByteArray::fromHex("02")));
    }

    // decoder_fuzz: whole 1024-byte log blocks of a few log shapes.
    int n = 0;
    for (const auto& channels :
         {std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}, std::vector<int>{1, 3}}) {
        sim::LogShape shape;
        shape.channels = channels;
        shape.records = 300;
        shape.skipEvery = 7;
        shape.invalidDateEvery = 11;
        const sim::LogGenerator log(shape);
        for (int at = 0; at < 3 * 1024 && at < log.bytes().size(); at += 1024)
            put(root + QStringLiteral("/decoder_fuzz"), QStringLiteral("seed-block-%1").arg(n++),
                log.bytes().mid(at, 1024));
    }

    // settings_fuzz: the file the tool creates, and one it saved with a phone book filled in.
    put(root + QStringLiteral("/settings_fuzz"), QStringLiteral("seed-default"),
        defaultSettingsBytes());
    ProgramState state;
    PlainSettingsWidgets widgets(state);
    widgets.setSlaveIdText(QStringLiteral("17"));
    widgets.phoneBook().setupGrid();
    for (int k = 1; k <= 10; ++k) {
        widgets.phoneBook().selectionChanged(k, 2);
        widgets.phoneBook().phoneEdited(QStringLiteral("031%1234567").arg(k));
        widgets.phoneBook().descriptionEdited(QStringLiteral("펌프장 %1 pump house").arg(k));
    }
    put(root + QStringLiteral("/settings_fuzz"), QStringLiteral("seed-saved"),
        savedSettingsBytes(widgets));
    return 0;
}
