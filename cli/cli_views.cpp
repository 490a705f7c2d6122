#include "cli_views.h"

#include <algorithm>

namespace tavrel::cli {

TextDownloadView::TextDownloadView(std::FILE* out, std::FILE* progress, bool terminal)
    : out_(out), progress_(progress), terminal_(terminal) {}

void TextDownloadView::endBar() {
    if (barShown_) {
        std::fputc('\n', progress_);
        barShown_ = false;
    }
}

void TextDownloadView::setDownloadStatus(const QString& text) {
    endBar();
    std::fprintf(out_, "%s\n", console(text).constData());
    std::fflush(out_);
}

void TextDownloadView::setFailureCause(const QString& cause) {
    if (cause.isEmpty()) return;
    endBar();
    std::fprintf(stderr, "tavrel-cli: %s\n", console(cause).constData());
}

void TextDownloadView::setStep(const QString& step) {
    // On a terminal the step shares the progress bar's line; piped, it is a line of its own.
    if (terminal_) {
        std::fprintf(progress_, "\r%-60s", console(step + QStringLiteral(" ...")).constData());
        barShown_ = true;
    } else {
        std::fprintf(progress_, "%s\n", console(step).constData());
    }
    std::fflush(progress_);
}

void TextDownloadView::setProgress(float percent) {
    const int p = static_cast<int>(percent);
    if (p == lastPercent_) return;
    lastPercent_ = p;
    if (terminal_) {
        drawBar();
    } else {
        std::fprintf(progress_, "%d%%\n", p);
        std::fflush(progress_);
    }
}

void TextDownloadView::setTransfer(std::int32_t received, std::int32_t total, double secondsLeft) {
    transfer_ = QStringLiteral("%1 of %2 bytes").arg(received).arg(total);
    if (secondsLeft >= 0) transfer_ += QStringLiteral(", ") + durationText(secondsLeft) + " left";
    if (terminal_) {
        drawBar();
    } else if (received >= total || received * 10LL / total != lastTenth_) {
        // Piped, a line every tenth of the log: enough to see a slow line is moving.
        lastTenth_ = static_cast<int>(received * 10LL / total);
        std::fprintf(progress_, "%s\n", console(transfer_).constData());
        std::fflush(progress_);
    }
}

void TextDownloadView::drawBar() {
    constexpr int kWidth = 40;
    const int p = std::clamp(lastPercent_, 0, 100);
    const int filled = p * kWidth / 100;
    std::fprintf(progress_, "\r[%s%s] %3d%% %-36s", QByteArray(filled, '#').constData(),
                 QByteArray(kWidth - filled, '.').constData(), p, console(transfer_).constData());
    barShown_ = true;
    std::fflush(progress_);
}

void TextDownloadView::setCountText(int index, const QString& text) {
    if (text.isEmpty()) return;
    endBar();
    if (index < 8) {
        std::fprintf(out_, "Channel %d: %s\n", index + 1, console(text).constData());
    } else {
        std::fprintf(out_, "%s:%s\n", index == 9 ? "Data records" : "Recorded records",
                     console(text).constData());
    }
}

void TextPanelView::setDisplayLine(int line, const QByteArray& converted) {
    if (line < 0 || line >= 4) return;
    // Control bytes (ESC, CR, VT) would act on the terminal: they are shown escaped.
    QString text;
    for (const QChar c : displayText(converted)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            text += QString::asprintf("\\x%02X", c.unicode());
        } else {
            text += c;
        }
    }
    lines_[static_cast<std::size_t>(line)] = text;
}

void TextPanelView::readGaveUp(const QString& what, const QString& cause) {
    std::fprintf(stderr, "tavrel-cli: %s gave up: %s\n", console(what).constData(),
                 console(cause).constData());
}

void TextModemView::setModemStatus(const QString& text) {
    status_ = text;
    // The reply text grows a byte at a time: print only what is new, whole texts otherwise.
    if (!printed_.isEmpty() && text.startsWith(printed_)) {
        std::fputs(console(text.mid(printed_.size())).constData(), out_);
    } else {
        std::fprintf(out_, "%s%s", printed_.isEmpty() ? "" : "\n", console(text).constData());
    }
    printed_ = text;
    std::fflush(out_);
}

}  // namespace tavrel::cli
