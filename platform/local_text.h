#pragma once
// Text files and captions in the system's 8-bit code page: on Linux the character set of the
// locale (LC_CTYPE, e.g. EUC-KR or UTF-8), on Windows the ANSI code page (cp949 on a Korean
// Windows). The settings file, the CSV and the captions the widgets show all go through here,
// so one file never mixes two encodings. Bytes that do not decode are kept as lone surrogates
// U+DC80..U+DCFF and written back as the same bytes, so a settings line never loses what the
// user or another tool put there.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tavrel {

QString decodeLocal(const QByteArray& bytes);
QByteArray encodeLocal(const QString& text);
// encodeLocal(text) appended to `out`: plain ASCII (every number and most stamps) goes
// straight in, without a text of its own.
void appendLocal(QByteArray& out, QStringView text);

// The code page in force, as the C library names it ("UTF-8", "EUC-KR", "CP949", ...). The C
// locale's plain ASCII is taken as UTF-8, as Qt itself does.
QByteArray localCodePage();

// Columns on a terminal: a Hangul syllable or any other wide character takes two cells.
qsizetype displayWidth(const QString& text);
// The text filled with blanks to `width` columns, on the right or (numbers) on the left.
QString padded(const QString& text, qsizetype width, bool right = false);

}  // namespace tavrel
