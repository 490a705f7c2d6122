#pragma once
// Text files in the system's 8-bit code page (cp949 on a Korean Windows, the locale's encoding
// elsewhere). Bytes that do not decode are kept as lone surrogates U+DC80..U+DCFF and written
// back as the same bytes, so a settings line never loses what the user or another tool put there.

#include <QByteArray>
#include <QString>

namespace tavrel {

QString decodeLocal(const QByteArray& bytes);
QByteArray encodeLocal(const QString& text);

}  // namespace tavrel
