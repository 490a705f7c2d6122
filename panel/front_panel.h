#pragma once
// The remote front panel: the keypad queues key characters in KeyBuffer, and every tick of the
// 750 ms timer sends at most one of them to the key register and reads the four display lines.

#include <QByteArray>
#include <QString>

namespace tavrel {

class Link;

class PanelView {
  public:
    virtual ~PanelView() = default;
    // Text4(line) = the converted display bytes (every byte one character; 157 = replaced).
    virtual void setDisplayLine(int line, const QByteArray& converted) = 0;
    // A read (or the key write) of the poll gave up: a silent instrument keeps a poll going for
    // minutes, and a front end without the window's greyed buttons says why.
    virtual void readGaveUp(const QString& what, const QString& cause) {
        (void)what;
        (void)cause;
    }
};

struct KeypadKey {
    const char* caption;
    char character;
};
// Command1(0..15) in index order: four rows of four, left to right.
const KeypadKey& keypadKey(int index);
inline constexpr int kKeypadKeys = 16;

// The byte every unshowable display byte becomes.
inline constexpr unsigned char kReplacedByte = 157;
// The one visible glyph the window and the CLI show for it.
QString displayText(const QByteArray& converted);

QByteArray ConvertDisplayLine(const QByteArray& data);

class FrontPanel {
  public:
    FrontPanel(Link& link, PanelView& view);

    // Command1(index) clicked: queue its character.
    void keyClicked(int index);
    // Timer1 tick: one poll unless the port is taken by another operation. Returns whether a
    // poll ran and read all four lines.
    bool tick();
    // One poll: the first queued key, then the four display lines. Returns whether all four
    // lines were read.
    bool PollFrontPanel();

    int polls() const { return polls_; }
    int skippedTicks() const { return skipped_; }

  private:
    Link& link_;
    PanelView& view_;
    int polls_ = 0;
    int skipped_ = 0;
};

}  // namespace tavrel
