#pragma once
// What the headless tool shows instead of the window: status texts as lines, a progress bar
// on a terminal (plain percentage lines otherwise), the display lines and the modem's replies.

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdio>

#include "download_driver.h"
#include "front_panel.h"
#include "local_text.h"
#include "modem.h"

namespace tavrel::cli {

// Text for the terminal, in the code page of the locale it runs in.
inline QByteArray console(const QString& text) { return encodeLocal(text); }

// Progress lines that redraw themselves only on a terminal; piped, plain lines.
inline bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(2) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

// A usage error of any command: said on stderr with the pointer to --help; exit code 64.
inline constexpr int kUsageExit = 64;
inline int usageError(const QString& message) {
    std::fprintf(stderr, "tavrel-cli: %s\n(see tavrel-cli --help)\n", console(message).constData());
    return kUsageExit;
}

class TextDownloadView final : public DownloadView {
  public:
    TextDownloadView(std::FILE* out, std::FILE* progress, bool terminal);
    void setDownloadStatus(const QString& text) override;
    void setFailureCause(const QString& cause) override;
    void setStep(const QString& step) override;
    void setProgress(float percent) override;
    void setCountText(int index, const QString& text) override;
    void setDownloadEnabled(bool enabled) override { (void)enabled; }
    void setTransfer(std::int32_t received, std::int32_t total, double secondsLeft) override;

  private:
    void endBar();
    void drawBar();
    QString transfer_;
    int lastTenth_ = -1;
    std::FILE* out_;
    std::FILE* progress_;
    bool terminal_;
    bool barShown_ = false;
    int lastPercent_ = -1;
};

class TextPanelView final : public PanelView {
  public:
    void setDisplayLine(int line, const QByteArray& converted) override;
    void readGaveUp(const QString& what, const QString& cause) override;
    const std::array<QString, 4>& lines() const { return lines_; }

  private:
    std::array<QString, 4> lines_;
};

class TextModemView final : public ModemView {
  public:
    explicit TextModemView(std::FILE* out) : out_(out) {}
    void setModemStatus(const QString& text) override;
    QString modemStatus() const override { return status_; }
    void setHangUpVisible(bool visible) override { (void)visible; }

  private:
    std::FILE* out_;
    QString status_;
    QString printed_;
};

}  // namespace tavrel::cli
