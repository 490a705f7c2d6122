// Arbitrary settings files: loading never fails, the program state stays in range, and a save
// always writes the 35 lines.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "program_handlers.h"
#include "settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    static QTemporaryDir dir;
    static const bool entered = QDir::setCurrent(dir.path());
    if (!entered) return 0;
    {
        QFile f(kSettingsFileName);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ProgramState state;
    PlainSettingsWidgets widgets(state);
    LoadSettings(state, widgets);
    if (state.CommPort < 1 || state.CommPort > 4) __builtin_trap();
    if (!baudCaptions().contains(state.CommBaud)) __builtin_trap();
    if (savedSettingsBytes(widgets).count("\r\n") < 35) __builtin_trap();
    return 0;
}
