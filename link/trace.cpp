#include "trace.h"

#include <cstdio>

#include "clock.h"

namespace tavrel {

QByteArray hexBytes(const QByteArray& bytes) { return bytes.toHex(' ').toUpper(); }

bool Trace::open(const QString& path) {
    auto file = std::make_unique<QFile>();
    bool ok = false;
    if (path == QStringLiteral("-")) {
        ok = file->open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else {
        file->setFileName(path);
        ok = file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    if (!ok) return false;
    file_ = std::move(file);
    file_->write(QByteArray(kTraceHeader) + "\n");
    return true;
}

void Trace::line(const QByteArray& text) {
    if (!file_) return;
    const double t = clock_.timeOfDay();
    const int whole = static_cast<int>(t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%06.3f ", whole / 3600, (whole / 60) % 60,
                  t - whole + whole % 60);
    file_->write(stamp);
    file_->write(text);
    file_->write("\n");
    file_->flush();
}

void Trace::sent(const QByteArray& frame) {
    if (file_) line("TX " + hexBytes(frame));
}

void Trace::received(const QByteArray& bytes) {
    if (file_) line("RX " + hexBytes(bytes));
}

void Trace::receivedFailed(const QByteArray& bytes, const QString& cause) {
    if (!file_) return;
    QByteArray text = "RX";
    if (!bytes.isEmpty()) text += ' ' + hexBytes(bytes);
    line(text + " ! " + cause.toUtf8());
}

void Trace::outcome(const char* transaction, bool ok, const char* cause) {
    if (file_)
        line(QByteArray("-- ") + transaction + (ok ? " true" : " false") + " (" + cause + ")");
}

void Trace::modemSent(const QByteArray& bytes) {
    if (file_) line("MTX " + hexBytes(bytes));
}

void Trace::modemReceived(const QByteArray& bytes) {
    if (file_) line("MRX " + hexBytes(bytes));
}

}  // namespace tavrel
