#pragma once
// The simulated instrument's front panel: four lines of twenty characters and a menu that the
// sixteen keys really move through. The pages and the settings are tables (panel_sim.cpp), the
// key model is documented in docs/front-panel.md. Every line is laid out to fit its twenty
// cells, values rounded to the digits that fit; the selected line carries byte 0x02 and unused
// cells are blanks.

#include <QByteArray>
#include <array>

namespace tavrel::sim {

class LogGenerator;

class PanelSim {
  public:
    enum class Page { Main, Menu, Totaliser, Channels, Settings, Help };
    static constexpr int kColumns = 20;
    static constexpr int kSettings = 3;  // slave ID, log interval, damping

    PanelSim(const LogGenerator& log, int slave = 1);

    void key(char character);
    // The display as of `seconds` of running time (values move with time).
    std::array<QByteArray, 4> lines(double seconds) const;
    Page page() const { return page_; }
    QByteArray keysSeen() const { return keys_; }
    bool secondFunction() const { return second_; }
    double setting(int index) const { return settings_[static_cast<std::size_t>(index)]; }

  private:
    void plainKey(char c);
    void secondKey(char c);
    void enterKey();

    const LogGenerator& log_;
    Page page_ = Page::Main;
    int menuItem_ = 0;
    int channel_ = 0;      // 0..7, the channel the channel page shows
    int settingItem_ = 0;  // the selected line of the settings page
    bool editing_ = false;
    bool second_ = false;  // "2nd" pressed: the next key does its second function
    QByteArray entry_;     // digits (and a point) typed while editing
    std::array<double, kSettings> settings_{};
    QByteArray keys_;
};

}  // namespace tavrel::sim
