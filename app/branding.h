#pragma once
// The maker's name and web address: placeholders until the instrument's maker supplies theirs.

#include <QString>

namespace tavrel {

inline const QString kMakerName = QStringLiteral("TAVREL");
inline const QString kMakerWebAddress = QStringLiteral("www.tavrel.example");
inline const QString kWindowTitle = kMakerName + QStringLiteral(" 다운로드 프로그램 1.09K");

}  // namespace tavrel
