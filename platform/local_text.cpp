#include "local_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#endif

namespace tavrel {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }
QChar escapeOf(unsigned char b) { return QChar(static_cast<char16_t>(kEscapeBase + b)); }

bool isAscii(const QByteArray& bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool isAscii(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

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

QString decodeUtf8(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int len = validSequence(bytes, i, &cp);
        if (len == 0) {
            out.append(escapeOf(static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        const char32_t one[1] = {cp};
        out.append(QString::fromUcs4(one, 1));
        i += len;
    }
    return out;
}

bool isUtf8Name(const QByteArray& name) {
    const QByteArray n = name.toUpper();
    return n == "UTF-8" || n == "UTF8" || n == "ANSI_X3.4-1968" || n == "ASCII" ||
           n == "US-ASCII" || n == "65001";
}

#ifdef _WIN32

QByteArray currentCodePage() { return QByteArray::number(static_cast<unsigned>(GetACP())); }

// Decodes one character (one or two bytes in a DBCS code page) at a time, so a byte that
// does not decode becomes its escape and the rest still reads.
QString decodeCodePage(const QByteArray& bytes) {
    const UINT cp = GetACP();
    QString out;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const int len = IsDBCSLeadByteEx(cp, b) && i + 1 < bytes.size() ? 2 : 1;
        wchar_t w[4];
        const int n =
            MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.constData() + i, len, w, 4);
        if (n <= 0) {
            out.append(escapeOf(b));
            ++i;
            continue;
        }
        out.append(QString::fromWCharArray(w, n));
        i += len;
    }
    return out;
}

QByteArray encodeCodePage(QStringView text) {
    const UINT cp = GetACP();
    const auto* w = reinterpret_cast<const wchar_t*>(text.utf16());
    const int n =
        WideCharToMultiByte(cp, 0, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray out(n, '\0');
    WideCharToMultiByte(cp, 0, w, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

#else

QByteArray currentCodePage() { return QByteArray(nl_langinfo(CODESET)); }

// One iconv descriptor per direction, kept while the code page stays the same.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    // iconv_open's failure value is (iconv_t)-1.
    bool ok() const {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the C library's own failure value
        return cd_ != reinterpret_cast<iconv_t>(-1);
    }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

struct Converters {
    QByteArray codePage;
    Converter toUtf16;
    Converter fromUtf16;
    explicit Converters(const QByteArray& page)
        : codePage(page),
          toUtf16("UTF-16LE", page.constData()),
          fromUtf16(page.constData(), "UTF-16LE") {}
};

Converters& converters(const QByteArray& page) {
    thread_local std::unique_ptr<Converters> current;
    if (!current || current->codePage != page) current = std::make_unique<Converters>(page);
    return *current;
}

QString decodeCodePage(const QByteArray& bytes) {
    const Converter& c = converters(currentCodePage()).toUtf16;
    if (!c.ok()) return decodeUtf8(bytes);
    iconv(c.get(), nullptr, nullptr, nullptr, nullptr);
    QString out;
    QByteArray chunk(static_cast<qsizetype>(bytes.size()) * 4 + 16, '\0');
    auto* in = const_cast<char*>(bytes.constData());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        std::size_t outLeft = static_cast<std::size_t>(chunk.size());
        const std::size_t r = iconv(c.get(), &in, &inLeft, &outPtr, &outLeft);
        const auto produced =
            static_cast<qsizetype>(chunk.size()) - static_cast<qsizetype>(outLeft);
        out.append(QStringView(reinterpret_cast<const char16_t*>(chunk.constData()), produced / 2));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte that starts no character here (or a cut-off one at the end).
            out.append(escapeOf(static_cast<unsigned char>(*in)));
            ++in;
            --inLeft;
            iconv(c.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

QByteArray encodeCodePage(QStringView text) {
    const Converter& c = converters(currentCodePage()).fromUtf16;
    if (!c.ok()) return text.toUtf8();
    iconv(c.get(), nullptr, nullptr, nullptr, nullptr);
    QByteArray out;
    QByteArray chunk(static_cast<qsizetype>(text.size()) * 4 + 16, '\0');
    auto* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.utf16()));
    std::size_t inLeft = static_cast<std::size_t>(text.size()) * 2;
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        std::size_t outLeft = static_cast<std::size_t>(chunk.size());
        const std::size_t r = iconv(c.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk.constData(), chunk.size() - static_cast<qsizetype>(outLeft));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character the code page does not have: "?", as Windows writes it.
            const bool pair =
                inLeft >= 4 &&
                QChar::isHighSurrogate(static_cast<char16_t>(
                    static_cast<unsigned char>(in[0]) | static_cast<unsigned char>(in[1]) << 8));
            const std::size_t skip = pair ? 4 : 2;
            in += std::min(skip, inLeft);
            inLeft -= std::min(skip, inLeft);
            out.append('?');
            iconv(c.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    // Return a stateful code page to its initial shift state.
    char* outPtr = chunk.data();
    std::size_t outLeft = static_cast<std::size_t>(chunk.size());
    iconv(c.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(chunk.constData(), chunk.size() - static_cast<qsizetype>(outLeft));
    return out;
}

#endif

}  // namespace

QByteArray localCodePage() {
    const QByteArray page = currentCodePage();
    return isUtf8Name(page) ? QByteArray("UTF-8") : page;
}

QString decodeLocal(const QByteArray& bytes) {
    if (isAscii(bytes)) return QString::fromLatin1(bytes);
    if (isUtf8Name(currentCodePage())) return decodeUtf8(bytes);
    return decodeCodePage(bytes);
}

QByteArray encodeLocal(const QString& text) {
    if (isAscii(QStringView(text))) return text.toLatin1();
    const bool utf8 = isUtf8Name(currentCodePage());
    QByteArray out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        // A lone low surrogate from the escape range stands for one raw byte.
        const bool escape = !end && isEscape(text[i]) && (i == 0 || !text[i - 1].isHighSurrogate());
        if (end || escape) {
            if (i > runStart) {
                const QStringView run = QStringView(text).mid(runStart, i - runStart);
                out.append(utf8 ? run.toUtf8() : encodeCodePage(run));
            }
            if (escape) out.append(static_cast<char>(text[i].unicode() - kEscapeBase));
            runStart = i + 1;
        }
    }
    return out;
}

void appendLocal(QByteArray& out, QStringView text) {
    // One pass: copy while every character is ASCII, and start over the slow way at the first
    // one that is not.
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char* dst = out.data() + at;
    const auto* src = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (src[i] >= 0x80) {
            out.resize(at);
            out.append(encodeLocal(text.toString()));
            return;
        }
        dst[i] = static_cast<char>(src[i]);
    }
}

qsizetype displayWidth(const QString& text) {
    qsizetype width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

QString padded(const QString& text, qsizetype width, bool right) {
    const QString fill(std::max<qsizetype>(0, width - displayWidth(text)), u' ');
    return right ? fill + text : text + fill;
}

}  // namespace tavrel
