#pragma once
// The simulated instrument's front panel: four lines of twenty characters and a small menu that
// the sixteen keys really move through (flow rate, totaliser, channel values, settings, help).
// Like the real display it marks the selected menu line with byte 0x02 and fills unused
// positions with byte 0x00, which the tool shows as its replacement character.

#include <QByteArray>
#include <array>

namespace tavrel::sim {

class LogGenerator;

class PanelSim {
  public:
    enum class Page { Main, Menu, Totaliser, Channels, Settings, Help };
    static constexpr int kColumns = 20;

    explicit PanelSim(const LogGenerator& log);

    void key(char character);
    // The display as of `seconds` of running time (values move with time).
    std::array<QByteArray, 4> lines(double seconds) const;
    Page page() const { return page_; }
    QByteArray keysSeen() const { return keys_; }

  private:
    QByteArray menuLine(int item) const;

    const LogGenerator& log_;
    Page page_ = Page::Main;
    int menuItem_ = 0;
    int firstChannel_ = 0;
    QByteArray entry_;  // digits typed on the settings page
    int interval_ = 15;
    QByteArray keys_;
};

}  // namespace tavrel::sim
