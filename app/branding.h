#pragma once
// The maker's name and web address: placeholders until the instrument's maker supplies theirs.

#include <QString>

namespace tavrel {

inline const QString kMakerName = QStringLiteral("TAVREL");
inline const QString kMakerWebAddress = QStringLiteral("www.tavrel.example");

}  // namespace tavrel
