#include "panel_sim.h"

#include <cmath>
#include <cstdio>

#include "log_generator.h"

namespace tavrel::sim {

namespace {
constexpr int kMenuItems = 4;
const char* const kMenu[kMenuItems] = {"FLOW RATE", "TOTALISER", "CHANNELS", "SETTINGS"};

QByteArray fit(const QByteArray& text) {
    QByteArray line = text.left(PanelSim::kColumns);
    while (line.size() < PanelSim::kColumns) line.append('\0');  // unlit cells
    return line;
}

QByteArray format(const char* fmt, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return QByteArray(buf);
}
}  // namespace

PanelSim::PanelSim(const LogGenerator& log) : log_(log) {}

void PanelSim::key(char c) {
    keys_.append(c);
    switch (c) {
        case 'M':
            page_ = Page::Menu;  // the menu always opens at its first item
            menuItem_ = 0;
            break;
        case 'F':
            page_ = Page::Main;
            entry_.clear();
            break;
        case '.':
            page_ = Page::Help;
            break;
        case 'N':
            if (page_ == Page::Menu) menuItem_ = (menuItem_ + kMenuItems - 1) % kMenuItems;
            if (page_ == Page::Channels) firstChannel_ = (firstChannel_ + 7) % 8;
            break;
        case 'L':
            if (page_ == Page::Menu) menuItem_ = (menuItem_ + 1) % kMenuItems;
            if (page_ == Page::Channels) firstChannel_ = (firstChannel_ + 1) % 8;
            break;
        case 'E':
            if (page_ == Page::Menu) {
                static constexpr Page pages[kMenuItems] = {Page::Main, Page::Totaliser,
                                                           Page::Channels, Page::Settings};
                page_ = pages[menuItem_];
            } else if (page_ == Page::Settings && !entry_.isEmpty()) {
                interval_ = std::max(1, std::min(entry_.toInt(), 999));
                entry_.clear();
            }
            break;
        default:
            if (c >= '0' && c <= '9' && page_ == Page::Settings && entry_.size() < 3)
                entry_.append(c);
            break;
    }
}

QByteArray PanelSim::menuLine(int item) const {
    return QByteArray(item == menuItem_ ? "\x02" : " ") + kMenu[item];
}

std::array<QByteArray, 4> PanelSim::lines(double seconds) const {
    const double flow = 120.0 + 35.0 * std::sin(seconds / 60.0) + 0.4 * std::sin(seconds * 1.7);
    const double total = 154321.0 + seconds * flow / 3600.0;
    std::array<QByteArray, 4> out;
    switch (page_) {
        case Page::Main:
            out = {"FLOW RATE", format("%9.2f m3/h", flow), format("TOTAL %10.1f", total),
                   "M:MENU  .:HELP"};
            break;
        case Page::Menu:
            for (int i = 0; i < kMenuItems; ++i) out[static_cast<std::size_t>(i)] = menuLine(i);
            break;
        case Page::Totaliser:
            out = {"TOTALISER", format("%12.1f m3", total),
                   format("TODAY %8.1f m3", std::fmod(total, 2400.0)), "2nd:BACK"};
            break;
        case Page::Channels:
            out[0] = "CHANNELS  Up/Dn";
            for (int i = 0; i < 3; ++i) {
                const int k = (firstChannel_ + i) % 8 + 1;
                const QByteArray name = log_.caption(k).toLatin1().left(11);
                const QByteArray value =
                    log_.inUse(k) ? format("%8.2f", static_cast<double>(log_.value(k, 0)))
                                  : "   --";
                out[static_cast<std::size_t>(i) + 1] =
                    QByteArray::number(k) + ' ' + name.leftJustified(11, ' ') + value;
            }
            break;
        case Page::Settings:
            out = {"SETTINGS", "SLAVE ID     001", format("INTERVAL %4.0f MIN", interval_),
                   QByteArray("\x02NEW ") + entry_ + (entry_.size() < 3 ? "_" : "")};
            break;
        case Page::Help:
            out = {"M MENU   E ENTER", "Up/Dn  MOVE", "2nd    BACK", "0-9 . VALUES"};
            break;
    }
    for (QByteArray& line : out) line = fit(line);
    return out;
}

}  // namespace tavrel::sim
