#include "panel_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "log_generator.h"

namespace tavrel::sim {

namespace {

struct MenuItem {
    const char* title;
    PanelSim::Page page;
};
constexpr MenuItem kMenu[] = {{"FLOW RATE", PanelSim::Page::Main},
                              {"TOTALISER", PanelSim::Page::Totaliser},
                              {"CHANNELS", PanelSim::Page::Channels},
                              {"SETTINGS", PanelSim::Page::Settings}};
constexpr int kMenuItems = static_cast<int>(std::size(kMenu));

struct SettingDef {
    const char* label;
    const char* unit;
    int decimals;  // how many the entry takes ('.' refused when 0)
    double low, high;
    bool editable;
};
constexpr SettingDef kSettingDefs[PanelSim::kSettings] = {
    {"SLAVE ID", "", 0, 0, 255, false},  // changing it would cut the tool off: shown only
    {"INTERVAL", "MIN", 0, 1, 999, true},
    {"DAMPING", "S", 1, 0, 99.9, true},
};

constexpr int kEntryLength = 5;

// A number in at most `width` characters, with as many of `decimals` as fit, right-aligned.
QByteArray number(double value, int width, int decimals) {
    char buf[64];
    for (int d = decimals; d >= 0; --d) {
        std::snprintf(buf, sizeof buf, "%*.*f", width, d, value);
        if (static_cast<int>(std::strlen(buf)) <= width) return QByteArray(buf);
    }
    std::snprintf(buf, sizeof buf, "%*.*g", width, std::max(1, width - 6), value);
    return QByteArray(buf).left(width);
}

// `left` and `right` in one line of the display: right-aligned, blanks between.
QByteArray spread(const QByteArray& left, const QByteArray& right) {
    const qsizetype room = PanelSim::kColumns - right.size();
    return left.left(std::max<qsizetype>(room - 1, 0)).leftJustified(room, ' ') + right;
}

QByteArray fit(const QByteArray& text) {
    return text.left(PanelSim::kColumns).leftJustified(PanelSim::kColumns, ' ');  // blanks
}

}  // namespace

PanelSim::PanelSim(const LogGenerator& log, int slave) : log_(log) {
    settings_ = {static_cast<double>(slave), static_cast<double>(log.shape().intervalMinutes), 2.5};
}

void PanelSim::key(char c) {
    keys_.append(c);
    if (second_) {
        second_ = false;
        secondKey(c);
    } else {
        plainKey(c);
    }
}

void PanelSim::plainKey(char c) {
    const bool digit = c >= '0' && c <= '9';
    if (editing_ && (digit || c == '.')) {
        const bool takesPoint = kSettingDefs[settingItem_].decimals > 0 && !entry_.contains('.');
        if (entry_.size() < kEntryLength && (digit || takesPoint)) entry_.append(c);
        return;
    }
    switch (c) {
        case 'F':
            second_ = true;
            break;
        case 'M':
            page_ = Page::Menu;  // the menu always opens at its first item
            menuItem_ = 0;
            editing_ = false;
            break;
        case '.':
            page_ = Page::Help;  // outside an entry "." is Help
            break;
        case 'N':
        case 'L': {
            const int step = c == 'N' ? -1 : 1;
            if (page_ == Page::Menu) menuItem_ = (menuItem_ + kMenuItems + step) % kMenuItems;
            if (page_ == Page::Channels) channel_ = (channel_ + 8 + step) % 8;
            if (page_ == Page::Settings && !editing_)
                settingItem_ = (settingItem_ + kSettings + step) % kSettings;
            break;
        }
        case 'E':
            enterKey();
            break;
        default:
            break;  // a digit outside an entry does nothing
    }
}

void PanelSim::secondKey(char c) {
    switch (c) {
        case 'M':  // home
            page_ = Page::Main;
            editing_ = false;
            entry_.clear();
            break;
        case 'E':  // back: leave the entry, else the page
            if (editing_) {
                editing_ = false;
                entry_.clear();
            } else if (page_ != Page::Main) {
                page_ = Page::Menu;
            }
            break;
        case 'N':  // first
            if (page_ == Page::Channels) channel_ = 0;
            if (page_ == Page::Menu) menuItem_ = 0;
            break;
        case 'L':  // last
            if (page_ == Page::Channels) channel_ = 7;
            if (page_ == Page::Menu) menuItem_ = kMenuItems - 1;
            break;
        case '.':
            page_ = Page::Help;
            break;
        default:
            break;  // 2nd twice, or 2nd and a digit: nothing
    }
}

void PanelSim::enterKey() {
    if (page_ == Page::Menu) {
        page_ = kMenu[menuItem_].page;
        return;
    }
    if (page_ != Page::Settings) return;
    const SettingDef& def = kSettingDefs[settingItem_];
    if (!editing_) {
        editing_ = def.editable;
        entry_.clear();
        return;
    }
    if (!entry_.isEmpty()) {
        const double value = std::clamp(entry_.toDouble(), def.low, def.high);
        const double scale = std::pow(10.0, def.decimals);
        settings_[static_cast<std::size_t>(settingItem_)] = std::round(value * scale) / scale;
    }
    editing_ = false;
    entry_.clear();
}

std::array<QByteArray, 4> PanelSim::lines(double seconds) const {
    const double flow = 120.0 + 35.0 * std::sin(seconds / 60.0) + 0.4 * std::sin(seconds * 1.7);
    const double total = 154321.0 + seconds * flow / 3600.0;
    std::array<QByteArray, 4> out;
    switch (page_) {
        case Page::Main:
            out = {"FLOW RATE", spread("", number(flow, 11, 2) + " m3/h"),
                   spread("TOTAL", number(total, 11, 1) + " m3"), "M:MENU  .:HELP"};
            break;
        case Page::Menu:
            for (int i = 0; i < kMenuItems; ++i)
                out[static_cast<std::size_t>(i)] =
                    QByteArray(i == menuItem_ ? "\x02" : " ") + kMenu[i].title;
            break;
        case Page::Totaliser:
            out = {"TOTALISER", spread("", number(total, 14, 1) + " m3"),
                   spread("TODAY", number(std::fmod(total, 2400.0), 11, 1) + " m3"), "2nd E:BACK"};
            break;
        case Page::Channels: {
            // One channel a page: its whole caption, and the value of the latest record, as
            // the log holds it, to the digits that fit.
            const int k = channel_ + 1;
            const int last = std::max(0, log_.shape().records - 1);
            out[0] = spread("CHANNEL " + QByteArray::number(k) + "/8", "Up/Dn");
            out[1] = log_.caption(k).toUtf8();
            out[2] = log_.inUse(k) && log_.shape().records > 0
                         ? spread("VALUE", number(log_.value(k, last), 13, 2))
                         : spread("VALUE", "--");
            out[3] =
                log_.shape().records > 0
                    ? spread("AT",
                             log_.stamp(last).toString(QStringLiteral("dd/MM HH:mm")).toLatin1())
                    : QByteArray("LOG EMPTY");
            break;
        }
        case Page::Settings: {
            out[0] = "SETTINGS";
            for (int i = 0; i < kSettings; ++i) {
                const SettingDef& def = kSettingDefs[i];
                const bool selected = i == settingItem_;
                QByteArray value =
                    selected && editing_
                        ? entry_ + '_'
                        : number(settings_[static_cast<std::size_t>(i)], 5, def.decimals).trimmed();
                if (*def.unit != '\0') value += QByteArray(" ") + def.unit;
                out[static_cast<std::size_t>(i) + 1] =
                    spread(QByteArray(selected ? "\x02" : " ") + def.label, value);
            }
            break;
        }
        case Page::Help:
            out = {"M MENU    E ENTER", "Up/Dn MOVE 0-9 . NUM", "2nd E BACK 2nd M TOP",
                   "2nd Up/Dn FIRST/LAST"};
            break;
    }
    if (second_) out[0] = spread(out[0], "2nd");
    for (QByteArray& line : out) line = fit(line);
    return out;
}

}  // namespace tavrel::sim
