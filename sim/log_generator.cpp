#include "log_generator.h"

#include <QTimeZone>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif
#include <algorithm>
#include <cmath>
#include <numbers>

#include "instrument_number.h"

namespace tavrel::sim {

namespace {

unsigned char bcd(int value) {
    return static_cast<unsigned char>(((value / 10) << 4) | (value % 10));
}

// A small deterministic wobble, so values look measured rather than drawn.
double wobble(int channel, int index) {
    std::uint32_t h = static_cast<std::uint32_t>(channel) * 2654435761U ^
                      static_cast<std::uint32_t>(index) * 40503U;
    h ^= h >> 13;
    h *= 0x5bd1e995U;
    h ^= h >> 15;
    return (static_cast<double>(h % 2001U) - 1000.0) / 1000.0;
}

double round2(double v) { return std::round(v * 100.0) / 100.0; }

}  // namespace

QString LogGenerator::defaultCaption(int channel) {
    static const char* const names[9] = {"",         "Flow m3/h", "Total m3",   "Pressure bar",
                                         "Temp C",   "Level m",   "Flow2 m3/h", "Velocity m/s",
                                         "Battery V"};
    return QString::fromLatin1(names[std::clamp(channel, 0, 8)]);
}

LogGenerator::LogGenerator(const LogShape& shape) : shape_(shape) {
    std::sort(shape_.channels.begin(), shape_.channels.end());
    shape_.channels.erase(std::unique(shape_.channels.begin(), shape_.channels.end()),
                          shape_.channels.end());
    std::erase_if(shape_.channels, [](int k) { return k < 1 || k > 8; });
    if (shape_.empty) return;
    bytes_.reserve(static_cast<qsizetype>(shape_.records) *
                       static_cast<qsizetype>(shape_.channels.size()) * 8 +
                   64);
    for (int i = 0; i < shape_.records; ++i) {
        const QDateTime t = stamp(i);
        const bool invalid = shape_.invalidDateEvery > 0 && (i + 1) % shape_.invalidDateEvery == 0;
        const int month = invalid ? 13 : t.date().month();
        for (const int k : shape_.channels) {
            bytes_.append(static_cast<char>((k << 4) | month));
            bytes_.append(static_cast<char>(bcd(t.date().day())));
            bytes_.append(static_cast<char>(bcd(t.time().hour())));
            bytes_.append(static_cast<char>(bcd(t.time().minute())));
            for (const unsigned char b : encodeNumber(value(k, i)))
                bytes_.append(static_cast<char>(b));
        }
        if (shape_.skipEvery > 0 && (i + 1) % shape_.skipEvery == 0) {
            bytes_.append(QByteArray::fromHex("C3FFFFFF00000000"));
        }
    }
}

bool LogGenerator::inUse(int channel) const {
    return std::find(shape_.channels.begin(), shape_.channels.end(), channel) !=
           shape_.channels.end();
}

QString LogGenerator::caption(int channel) const {
    if (channel < 1 || channel > 8 || !inUse(channel)) return QStringLiteral("Not used");
    const QString& given = shape_.captions[static_cast<std::size_t>(channel)];
    return given.isEmpty() ? defaultCaption(channel) : given;
}

QDateTime LogGenerator::stamp(int index) const {
    // The instrument keeps its own wall clock: no daylight-saving rule of the PC moves it.
    const QDateTime start(shape_.start.date(), shape_.start.time(), QTimeZone::utc());
    return start.addSecs(static_cast<qint64>(index) * shape_.intervalMinutes * 60);
}

QByteArray LogGenerator::captionBytes(int channel) const {
    const QString text = caption(channel);
    QByteArray utf8 = text.toUtf8();
#ifdef _WIN32
    // The code page by its number ("949", "CP949"), or the usual names of the Korean one.
    QByteArray name = shape_.captionCodePage.toUpper();
    if (name.startsWith("CP")) name = name.mid(2);
    bool numbered = false;
    UINT page = name.toUInt(&numbered);
    if (!numbered) page = name == "EUC-KR" ? 949U : CP_UTF8;
    const std::wstring wide = text.toStdWString();
    QByteArray out(static_cast<qsizetype>(wide.size()) * 4 + 8, '\0');
    const int n = WideCharToMultiByte(page, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return n > 0 ? out.left(std::min(n, 32)) : utf8.left(32);
#else
    iconv_t cd = iconv_open(shape_.captionCodePage.constData(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8.left(32);  // NOLINT(performance-no-int-to-ptr)
    QByteArray out(utf8.size() * 4 + 8, '\0');
    char* in = utf8.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - static_cast<qsizetype>(outLeft));
    return out.left(32);
#endif
}

float LogGenerator::value(int channel, int index) const {
    if (channel >= 1 && channel <= 8) {
        const auto& given = shape_.values[static_cast<std::size_t>(channel)];
        if (!given.empty()) return given[static_cast<std::size_t>(index) % given.size()];
    }
    const double day =
        2.0 * std::numbers::pi * index / std::max(1, 1440 / std::max(1, shape_.intervalMinutes));
    double v = 0;
    switch (channel) {
        case 1:
            v = 120.0 + 35.0 * std::sin(day) + 2.0 * wobble(1, index);
            break;
        case 2:
            v = 154000.0 + 30.0 * index;
            break;
        case 3:
            v = 3.5 + 0.25 * std::sin(day + 1.0) + 0.02 * wobble(3, index);
            break;
        case 4:
            v = 14.0 + 6.0 * std::sin(day - 1.5) + 0.1 * wobble(4, index);
            break;
        case 5:
            v = 2.4 + 0.4 * std::sin(day * 0.5) + 0.01 * wobble(5, index);
            break;
        case 6:
            v = 60.0 + 20.0 * std::sin(day + 2.0) + 1.5 * wobble(6, index);
            break;
        case 7:
            v = 0.9 + 0.3 * std::sin(day) + 0.02 * wobble(7, index);
            break;
        default:
            v = 3.62 - 0.00002 * index + 0.01 * wobble(8, index);
            break;
    }
    return static_cast<float>(round2(v));
}

std::array<unsigned char, 16> LogGenerator::sizeRegisters() const {
    std::array<unsigned char, 16> r{};
    // Empty: the pointers are eight apart the wrong way round, so second + 8 - first is 0.
    // A log whose channels are all unused still has records; only an empty one reads 0.
    const int length = std::max(static_cast<int>(bytes_.size()), 8 * shape_.records);
    const bool none = shape_.empty || length == 0;
    const int first = none ? 8 : 0;
    const int second = none ? 0 : length - 8;
    auto put = [&](int at, int pointer) {
        const auto base = static_cast<std::size_t>(at);
        r[base] = static_cast<unsigned char>(pointer / 16384);
        r[base + 2] = static_cast<unsigned char>((pointer % 16384) / 256);
        r[base + 3] = static_cast<unsigned char>(pointer % 256);
    };
    put(0, first);
    put(4, second);
    const float records =
        shape_.empty ? 0.0F
                     : static_cast<float>(shape_.reportedRecords >= 0 ? shape_.reportedRecords
                                                                      : shape_.records);
    const NumberBytes data = encodeNumber(records);
    const NumberBytes recorded = encodeNumber(records + (shape_.empty ? 0.0F : 3.0F));
    std::copy(data.begin(), data.end(), r.begin() + 8);
    std::copy(recorded.begin(), recorded.end(), r.begin() + 12);
    return r;
}

}  // namespace tavrel::sim
