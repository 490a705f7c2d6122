#pragma once
// Helpers for the end-to-end measurements: tavrel-sim on a pseudo-terminal, CPU time, and a
// link on the real serial path with the window's pump.

#include <sys/resource.h>
#include <QProcess>
#include <QString>

#include "real_link.h"

namespace tavrel::bench {

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sim {
    explicit Sim(const QStringList& args) {
        process.start(QStringLiteral(TAVREL_BIN_DIR "/sim/tavrel-sim"),
                      QStringList{QStringLiteral("--pty")} + args);
        if (process.waitForReadyRead(5000))
            device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim() {
        process.terminate();
        process.waitForFinished(2000);
    }
    QProcess process;
    QString device;
};

using test::RealLink;

}  // namespace tavrel::bench
