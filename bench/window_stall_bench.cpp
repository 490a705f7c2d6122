// The window downloading the largest log the grid holds from tavrel-sim over a pseudo-terminal:
// the longest time the event loop went without running (a 5 ms timer measures the gaps).
// Usage: window_stall_bench DEVICE   (run with QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "dwnload1.h"
#include "session.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_stall_bench DEVICE\n");
        return 64;
    }
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    tavrel::SessionOptions options;
    options.ports.set(1, QString::fromLocal8Bit(argv[1]));
    tavrel::Session session(options);
    tavrel::DwnLoad1 window(session.link());
    window.startUp();
    window.show();
    window.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(0);

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start();
    window.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    ticker.stop();
    std::printf("window download: %.2f s, %d records, longest event-loop stall %lld ms\n",
                total.elapsed() / 1000.0, session.state().RecordRow - 1,
                static_cast<long long>(longest));
    return 0;
}
