#include "program_handlers.h"

#include "leading_number.h"

namespace tavrel {

const QStringList& baudCaptions() {
    static const QStringList captions{QStringLiteral("1200"),  QStringLiteral("2400"),
                                      QStringLiteral("4800"),  QStringLiteral("9600"),
                                      QStringLiteral("14400"), QStringLiteral("19200"),
                                      QStringLiteral("38400")};
    return captions;
}

const QStringList& portCaptions() {
    static const QStringList captions{QStringLiteral("Comm1"), QStringLiteral("Comm2"),
                                      QStringLiteral("Comm3"), QStringLiteral("Comm4")};
    return captions;
}

void onPortOption(ProgramState& state, int index) {
    if (index >= 0 && index < portCaptions().size())
        state.CommPort = static_cast<std::int16_t>(index + 1);
}

void onBaudOption(ProgramState& state, int index) {
    if (index >= 0 && index < baudCaptions().size()) state.CommBaud = baudCaptions()[index];
}

void onSlaveIdChanged(ProgramState& state, const QString& text) {
    // A number outside the 16-bit range leaves the slave ID as it was.
    if (const auto id = toInt16(leadingNumber(text))) state.CommSlaveID = *id;
}

void onFileNameChanged(ProgramState& state, const QString& text) { state.DownloadSaveFile = text; }

}  // namespace tavrel
