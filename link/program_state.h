#pragma once
// The tool's shared program state: the variables every part of the tool reads and writes,
// under the names the tool's own documents give them. One instance lives as long as the
// window (or the CLI run); everything is touched from the one UI thread only.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace tavrel {

struct ProgramState {
    // Set from the settings widgets.
    std::int16_t CommPort = 0;  // COM port number, 1 to 4
    QString CommBaud;           // "1200" ... "38400"
    std::int16_t CommSlaveID = 0;
    QString DownloadSaveFile;

    // Front panel: keys not yet sent, oldest first.
    QByteArray KeyBuffer;
    // Register values for the next function 16 write, index 1 to 36 (index 0 unused).
    std::array<std::int16_t, 37> WriteDataHigh{};
    std::array<std::int16_t, 37> WriteDataLow{};

    // The link's receive side.
    QByteArray ReplyBuffer;  // bytes of the last serial read
    QByteArray ReplyData;    // data bytes of the last function 3 / 96 reply, one char per byte
    std::int16_t BytesWaiting = 0;

    // Download.
    std::int32_t RecordRow = 0;
    std::array<bool, 9> ChannelInUse{};  // index 1 to 8

    // The link's work fields.
    std::int32_t FunctionCode = 0;
    std::int32_t RequestSlave = 0;
    std::int32_t RequestAddress = 0;
    std::int16_t CountHigh = 0;
    std::int16_t CountLow = 0;
    std::int32_t CrcValue = 0;
    std::int32_t CrcLow = 0;
    std::int32_t CrcHigh = 0;
    std::int32_t CheckLow = 0;
    std::int32_t CheckHigh = 0;
    std::int16_t CrcLowBit = 0;
    std::int32_t ReplySlave = 0;
    std::int32_t ReplyFunction = 0;
    std::int32_t ReplyByte3 = 0;
    std::int32_t ReplyByte4 = 0;
    std::int32_t ReplyByte5 = 0;
    std::int32_t ReplyByte6 = 0;
    QByteArray WriteData;
};

}  // namespace tavrel
