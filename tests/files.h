#pragma once
// Whole files for the suites: written in one go, read back whole.

#include <QFile>

namespace tavrel::test {

inline bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The file's bytes, or a text that no test expects when it cannot be read.
inline QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "<cannot read " + name.toUtf8() + '>';
}

}  // namespace tavrel::test
