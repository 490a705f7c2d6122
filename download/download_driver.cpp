#include "download_driver.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

#include "clock.h"
#include "comm_port.h"
#include "event_pump.h"
#include "link.h"
#include "local_text.h"
#include "record_decoding.h"

namespace tavrel {

namespace {
constexpr int kBlockBytes = 1024;
constexpr int kSetupLength = 100;
// The first selector byte counts 16 KiB pages from 8 and cannot pass 255.
constexpr std::int64_t kMaxLogBytes = static_cast<std::int64_t>(255 - 8 + 1) * 16384;
const QByteArray kNotUsed = "Not used";

int pointer(const QByteArray& d, int first) {
    auto b = [&](int pos) { return static_cast<unsigned char>(d[pos - 1]); };
    return b(first) * 16384 + b(first + 2) * 256 + b(first + 3);
}
float floatAt(const QByteArray& d, int first) {
    auto b = [&](int pos) { return static_cast<int>(static_cast<unsigned char>(d[pos - 1])); };
    return DecodeFloat(b(first), b(first + 1), b(first + 2), b(first + 3));
}
}  // namespace

int logBlockBytes(int lineBaud) {
    // The repeat can fire 1.5 s after the request went out (its mark is a rounded second); the
    // request and the awaited half of the reply must be on the line by 1.2 s, leaving the rest
    // for the instrument's turnaround and an adapter's latency. At 4800 baud and above 1024
    // bytes fit; 2400 takes 512 and 1200 takes 256.
    constexpr double kBudget = 1.2;
    constexpr int kRequestBytes = 9;
    if (lineBaud <= 0) return kBlockBytes;
    for (int bytes = kBlockBytes; bytes > 256; bytes -= 256) {
        if ((kRequestBytes + bytes / 2) * 10.0 / lineBaud <= kBudget) return bytes;
    }
    return 256;
}

QString durationText(double seconds) {
    const auto s = static_cast<long>(std::ceil(std::max(0.0, seconds)));
    // In the window's language; the headless tool loads no translation and keeps these.
    if (s < 60) return QCoreApplication::translate("Duration", "%1 s").arg(s);
    if (s < 3600) {
        return QCoreApplication::translate("Duration", "%1 min %2 s")
            .arg(s / 60)
            .arg(s % 60, 2, 10, QChar(u'0'));
    }
    return QCoreApplication::translate("Duration", "%1 h %2 min")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QChar(u'0'));
}

DownloadDriver::DownloadDriver(Link& link, FlexGrid& grid, DownloadView& view)
    : link_(link), grid_(grid), view_(view) {}

void DownloadDriver::noteLinkFailure(const QString& step) {
    const LinkCause cause = link_.lastCause();
    QString text = step + QStringLiteral(": ") + QString::fromLatin1(causeText(cause));
    const QString port = link_.port().errorText();
    if (link_.portLock().operationCancelled())
        text += QStringLiteral(" (the line was hung up)");
    else if ((cause == LinkCause::PortNotOpen || cause == LinkCause::PortLost) && !port.isEmpty())
        text += QStringLiteral(" (") + port + u')';
    cause_ = text;
}

int DownloadDriver::onDownloadClicked() {
    OperationGuard guard(link_.portLock(), QStringLiteral("download"));
    if (!guard.owns()) return -1;
    view_.setDownloadStatus(QStringLiteral("Downloading"));
    view_.setDownloadEnabled(false);
    view_.setFailureCause(QString());
    cause_.clear();
    grid_.clear();
    const int status = DownloadLog();
    int result = kDownloadFailed;
    if (status == kDownloadOk) {
        view_.setDownloadStatus(QStringLiteral("Completed Download."));
        view_.setProgress(100.0F);
        const bool written = WriteCsvFile();
        prepared_ = {};  // its megabyte or two is not kept until the next download
        if (!written) {
            cause_ = QStringLiteral("writing \"%1\": %2")
                         .arg(link_.state().DownloadSaveFile, exportError_);
        }
        view_.setDownloadStatus(written ? QStringLiteral("Finished. Data in File")
                                        : QStringLiteral("Error putting into file!!"));
        result = written ? 0 : 3;
    } else if (status == kDownloadEmpty) {
        view_.setDownloadStatus(QStringLiteral("0 Records Available"));
        result = 1;
    } else {
        view_.setDownloadStatus(QStringLiteral("Error in Downloading!!"));
    }
    if (result >= 2) view_.setFailureCause(cause_);
    view_.setDownloadEnabled(true);
    return result;
}

int DownloadDriver::DownloadLog() {
    ProgramState& s = link_.state();
    EventPump& pump = link_.pump();
    const int slave = s.CommSlaveID;
    view_.setProgress(0.0F);
    std::int64_t dataRecords = 0;
    prepared_ = {};
    logBytes_.clear();
    readFrom_ = 0;
    shape_ = {};

    // Size registers. Without them there is nothing sensible to read: give up at once.
    view_.setStep(QStringLiteral("reading the log size"));
    if (!link_.ReadHoldingRegisters(slave, 0, 76, 8)) {
        noteLinkFailure(QStringLiteral("reading the log size"));
        return kDownloadFailed;
    }
    if (s.ReplyData.size() < 16) {
        cause_ = QStringLiteral("reading the log size: the reply holds %1 of 16 bytes")
                     .arg(s.ReplyData.size());
        return kDownloadFailed;
    }
    const QByteArray size = s.ReplyData;
    const std::int32_t logLength = pointer(size, 5) + 8 - pointer(size, 1);
    if (logLength == 0) {
        grid_.setRedraw(true);
        return kDownloadEmpty;
    }
    const double records = std::floor(static_cast<double>(floatAt(size, 9)));
    const double recorded = std::floor(static_cast<double>(floatAt(size, 13)));
    view_.setCountText(9, numberText(records));
    view_.setCountText(8, numberText(recorded));
    dataRecords = records > 0 ? static_cast<std::int64_t>(std::min(records, 1e9)) : 0;
    pump.runPending();

    // Channel pass. The flags describe this download only.
    for (int i = 0; i < 8; ++i) view_.setCountText(i, QString());
    grid_.setText(1, 0, QStringLiteral("Record #"));
    grid_.setBold(1, 0, true);
    grid_.setText(1, 1, QStringLiteral("Date / Time"));
    grid_.setBold(1, 1, true);
    s.RecordRow = 1;
    s.ChannelInUse.fill(false);
    std::array<bool, 9> read{};
    std::array<QByteArray, 9> captions;
    int unread = 8;
    int idleRounds = 0;
    while (unread > 0) {
        const int before = unread;
        for (int k = 1; k <= 8; ++k) {
            if (read[k]) continue;
            const QString step = QStringLiteral("reading the set-up of channel %1").arg(k);
            view_.setStep(step);
            if (!link_.ReadLogBlock(slave, 24, 0x80 + k, 0, kSetupLength)) {
                noteLinkFailure(step);
            } else {
                read[k] = true;
                --unread;
                captions[k] = CleanText(s.ReplyData.mid(64, 32));
                view_.setCountText(k - 1, decodeLocal(captions[k]));
                s.ChannelInUse[k] = !captions[k].isEmpty() && captions[k] != kNotUsed;
            }
            pump.runPending();
        }
        if (unread == before && ++idleRounds >= kIdleChannelRounds) {
            grid_.setRedraw(true);
            return kDownloadFailed;
        }
    }
    // Each channel in use gets the column of its place among the channels in use, in channel
    // order, and its values go there too: header, grid and CSV always line up.
    std::array<int, 16> columnOf{};
    int column = 1;
    for (int k = 1; k <= 8; ++k) {
        if (!s.ChannelInUse[k]) continue;
        columnOf[k] = ++column;
        grid_.setText(1, column, decodeLocal(captions[k]));
        grid_.setBold(1, column, true);
    }

    grid_.setColWidth(0, 1000);
    grid_.setColWidth(1, 1800);
    for (int c = 2; c < kRecordsGridCols; ++c) grid_.setColWidth(c, 2000);
    grid_.setCurrent(1, grid_.col());
    pump.runPending();

    // Block pass.
    const int inUse = column - 1;
    const std::int64_t total64 =
        std::min<std::int64_t>(std::int64_t{inUse} * 8 * dataRecords, kMaxLogBytes);
    const auto total = static_cast<std::int32_t>(total64);
    // A slow line is read in smaller pieces (see logBlockBytes), but decoded in the same
    // 1024-byte units as ever: the grid and the CSV are the same at every speed.
    const int piece = logBlockBytes(link_.lineBaud());
    shape_.total = total;
    for (int k = 1; k <= 8; ++k) shape_.captions[k] = decodeLocal(captions[k]);
    std::int32_t position = 0;
    if (chooseStart_ && total > 0) {
        position = std::clamp(chooseStart_(shape_), 0, total - 1) / 256 * 256;
        readFrom_ = position;
    }
    std::int32_t block = std::min(total - position, piece);
    LogBlockDecoder decoder(grid_, s.RecordRow);
    decoder.setYear(link_.clock().today().year());
    decoder.setColumns(columnOf);
    grid_.setRedraw(false);
    int status = kDownloadOk;
    // Each block is decoded while the request for the next one is answered (the grid ends the
    // same; the instrument's answer time hides the decoding).
    QByteArray pending;
    QByteArray unit;  // pieces of the 1024-byte unit being gathered
    const double started = link_.clock().elapsedSeconds();
    auto decodePending = [&]() {
        if (pending.isEmpty()) return;
        decoder.DecodeLogBlock(pending);
        pending.clear();
        prepareCsvRows();
    };
    for (;;) {
        auto request = [&]() {
            link_.setAfterSend(decodePending);
            return link_.ReadLogBlock(slave, 8 + position / 16384, 0x80 + (position % 16384) / 256,
                                      0, block / 2);
        };
        const bool ok = request() || request();
        link_.setAfterSend({});
        decodePending();  // a request that never went out left it undone
        if (total == 0) {
            cause_ = QStringLiteral("no channel of the log is in use");
            grid_.setRedraw(true);
            return kDownloadFailed;
        }
        view_.setProgress(static_cast<float>(static_cast<double>(position) / total * 100.0));
        if (!ok) {
            noteLinkFailure(
                QStringLiteral("reading the log at byte %1 of %2").arg(position).arg(total));
            status = kDownloadFailed;
            break;
        }
        unit += s.ReplyData;
        logBytes_ += s.ReplyData;
        position += block;
        if (unit.size() >= kBlockBytes || position >= total) pending.swap(unit);
        const double elapsed = link_.clock().elapsedSeconds() - started;
        const std::int32_t read = position - readFrom_;
        view_.setTransfer(position, total,
                          elapsed > 0 ? (total - position) * elapsed / read : -1.0);
        if (position >= total) break;
        block = std::min(piece, total - position);
    }
    if (pending.isEmpty()) pending.swap(unit);
    decodePending();
    grid_.setRedraw(true);
    return status;
}

}  // namespace tavrel
