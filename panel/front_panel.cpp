#include "front_panel.h"

#include "link.h"

namespace tavrel {

namespace {
constexpr KeypadKey kKeys[kKeypadKeys] = {
    {"1", '1'},    {"2", '2'},       {"3", '3'},     {"Help / .", '.'}, {"4", '4'}, {"5", '5'},
    {"6", '6'},    {"Up/Next", 'N'}, {"7", '7'},     {"8", '8'},        {"9", '9'}, {"Down", 'L'},
    {"Menu", 'M'}, {"0", '0'},       {"Enter", 'E'}, {"2nd", 'F'},
};
constexpr int kKeyRegister = 209;
constexpr int kFirstDisplayRegister = 24;
}  // namespace

const KeypadKey& keypadKey(int index) {
    return kKeys[index < 0 || index >= kKeypadKeys ? 0 : index];
}

QByteArray ConvertDisplayLine(const QByteArray& data) {
    QByteArray out(data.size(), '\0');
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 11 && c <= 126) {
            out[i] = static_cast<char>(c);
        } else if (c == 2) {
            out[i] = '>';
        } else {
            out[i] = static_cast<char>(kReplacedByte);
        }
    }
    return out;
}

QString displayText(const QByteArray& converted) {
    QString out;
    out.reserve(converted.size());
    for (const char ch : converted) {
        const auto c = static_cast<unsigned char>(ch);
        // A shaded cell, like an unlit position of the instrument's display.
        out.append(c == kReplacedByte ? QChar(0x2592) : QChar(c));
    }
    return out;
}

FrontPanel::FrontPanel(Link& link, PanelView& view) : link_(link), view_(view) {}

void FrontPanel::keyClicked(int index) {
    if (index >= 0 && index < kKeypadKeys) link_.state().KeyBuffer.append(kKeys[index].character);
}

bool FrontPanel::tick() {
    OperationGuard guard(link_.portLock(), QStringLiteral("front panel poll"));
    if (!guard.owns()) {
        ++skipped_;  // a download, a dial or the previous poll still has the port
        return false;
    }
    return PollFrontPanel();
}

bool FrontPanel::PollFrontPanel() {
    ProgramState& s = link_.state();
    ++polls_;
    if (!s.KeyBuffer.isEmpty()) {
        s.WriteDataHigh[1] = static_cast<unsigned char>(s.KeyBuffer[0]);
        s.WriteDataLow[1] = 255;
        if (link_.WriteMultipleRegisters(s.CommSlaveID, kKeyRegister, 1, 2)) {
            // Keys clicked during the write were appended meanwhile and stay queued.
            s.KeyBuffer = s.KeyBuffer.size() >= 2 ? s.KeyBuffer.mid(1) : QByteArray();
        } else {
            view_.readGaveUp(QStringLiteral("key write"),
                             QString::fromLatin1(causeText(link_.lastCause())));
        }
    }
    bool all = true;
    for (int n = 0; n < 4; ++n) {
        if (link_.ReadHoldingRegisters(s.CommSlaveID, 0, kFirstDisplayRegister + 10 * n, 10)) {
            view_.setDisplayLine(n, ConvertDisplayLine(s.ReplyData));
        } else {
            all = false;
            view_.readGaveUp(QStringLiteral("display line %1").arg(n + 1),
                             QString::fromLatin1(causeText(link_.lastCause())));
        }
    }
    return all;
}

}  // namespace tavrel
