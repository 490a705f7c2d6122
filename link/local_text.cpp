#include "local_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tavrel {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of a valid UTF-8 sequence at `i`, or 0 when the bytes there do not form one.
int validSequence(const QByteArray& s, qsizetype i, char32_t* code) {
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = at(i);
    int len = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
        *code = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (int k = 1; k < len; ++k) {
        if (!isContinuation(at(i + k))) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *code = cp;
    return len;
}

QString decodeUtf8Escaped(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int len = validSequence(bytes, i, &cp);
        if (len == 0) {
            out.append(
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
            ++i;
            continue;
        }
        const char32_t one[1] = {cp};
        out.append(QString::fromUcs4(one, 1));
        i += len;
    }
    return out;
}

bool isEscape(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }

}  // namespace

QString decodeLocal(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (!decoder.hasError()) return text;
    return decodeUtf8Escaped(bytes);
}

QByteArray encodeLocal(const QString& text) {
    QByteArray out;
    QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        // A lone low surrogate from the escape range stands for one raw byte.
        const bool escape = !end && isEscape(text[i]) && (i == 0 || !text[i - 1].isHighSurrogate());
        if (end || escape) {
            if (i > runStart)
                out.append(
                    QByteArray(encoder.encode(QStringView(text).mid(runStart, i - runStart))));
            if (escape) out.append(static_cast<char>(text[i].unicode() - kEscapeBase));
            runStart = i + 1;
        }
    }
    return out;
}

}  // namespace tavrel
