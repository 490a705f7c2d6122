#pragma once
// Helpers for the end-to-end measurements: CPU time, and (from the tests) tavrel-sim on a
// pseudo-terminal and a link on the real serial path with the window's pump.

#include <sys/resource.h>
#include <QString>

#include "real_link.h"

namespace tavrel::bench {

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

using Sim = test::SimProcess;

using test::RealLink;

}  // namespace tavrel::bench
