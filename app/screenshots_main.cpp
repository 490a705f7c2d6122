// tavrel-screenshots: runs the window against the built-in simulated instrument (with its modem),
// works every tab as a technician would (dial, download, front panel) and saves a picture of each
// tab. Run with QT_QPA_PLATFORM=offscreen where there is no display (scripts/screenshots.sh).
//   tavrel-screenshots [FOLDER [PREFIX [LANG]]]   PREFIX starts every file name ("windows-"),
//   LANG is ko (the default) or en.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <cstdio>

#include "dwnload1.h"
#include "language.h"
#include "local_text.h"
#include "session.h"

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool shoot(QWidget& window, QTabWidget& tabs, int tab, const QString& file) {
    tabs.setCurrentIndex(tab);
    settle(100);
    const bool ok = window.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString out =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots"))
            .absolutePath();
    QDir().mkpath(out);
    const QString prefix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const tavrel::Language language =
        tavrel::parseLanguage(argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString())
            .value_or(tavrel::Language::Korean);
    tavrel::Translations translations;
    if (!translations.install(language)) {
        std::fprintf(stderr, "tavrel-screenshots: no translation for %s\n",
                     qPrintable(tavrel::languageCode(language)));
        return 1;
    }
    const auto file = [&](const char* name) {
        return out + u'/' + prefix + QString::fromLatin1(name);
    };
    QDir work(QDir::temp().filePath(QStringLiteral("tavrel-screenshots")));
    work.removeRecursively();
    QDir().mkpath(work.path());
    QDir::setCurrent(work.path());

    tavrel::SessionOptions options;
    options.demo = true;
    options.demoOptions.modem = true;
    options.demoOptions.modemConfig.connectDelay = 1.5;
    options.demoOptions.meter.log.records = 200;
    // Korean captions, as many instruments in the field carry them.
    options.demoOptions.meter.log.captions[1] = QStringLiteral("순간유량 m3/h");
    options.demoOptions.meter.log.captions[2] = QStringLiteral("적산유량 m3");
    // An instrument set up in the country keeps its captions in the country's code page.
    options.demoOptions.meter.log.captionCodePage = tavrel::localCodePage();
    tavrel::Session session(options);
    tavrel::DwnLoad1 window(session.link());
    window.startUp();
    window.show();
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    auto* phone = window.findChild<QLineEdit*>(QStringLiteral("Text5(0)"));
    auto* description = window.findChild<QLineEdit*>(QStringLiteral("Text5(1)"));
    auto* phoneGrid = window.findChild<QTableView*>(QStringLiteral("MSHFlexGrid2"));
    bool ok = true;

    ok &= shoot(window, *tabs, 2, file("tab2-settings.png"));

    tabs->setCurrentIndex(4);
    const char* const book[3][2] = {{"031-123-4567", "정수장 1 (Water works 1)"},
                                    {"031-765-4321", "Pump station North"},
                                    {"02-555-0100", "Reservoir B"}};
    for (int row = 0; row < 3; ++row) {
        phoneGrid->setCurrentIndex(phoneGrid->model()->index(row, 1));
        phone->setText(QString::fromUtf8(book[row][0]));
        description->setText(QString::fromUtf8(book[row][1]));
    }
    phoneGrid->setCurrentIndex(phoneGrid->model()->index(0, 1));
    window.findChild<QPushButton*>(QStringLiteral("Command4"))->click();
    ok &= shoot(window, *tabs, 4, file("tab4-modem.png"));

    tabs->setCurrentIndex(0);
    window.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    ok &= shoot(window, *tabs, 0, file("tab0-download.png"));
    ok &= shoot(window, *tabs, 1, file("tab1-results.png"));

    // The chart of that download, from the grid's context menu, a cursor pinned and the pointer
    // further on (the read-out gives the differences).
    window.openChart(-1);
    settle(300);
    if (tavrel::ChartWindow* chart = window.chartWindow()) {
        chart->resize(1000, 700);
        settle(200);
        tavrel::LogChart* view = chart->chart();
        const QRectF area = view->picture().plotArea();
        const QPoint pin(static_cast<int>(area.left() + area.width() * 0.3),
                         static_cast<int>(area.center().y()));
        view->pinCursor(view->picture().timeAt(pin.x()));
        const QPointF to = pin + QPoint(static_cast<int>(area.width() * 0.35), 0);
        QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(view, &move);
        settle(100);
        const QString chartFile = file("chart.png");
        const bool saved = chart->grab().save(chartFile);
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(chartFile));
        ok &= saved;
        chart->close();
    } else {
        ok = false;
    }

    tabs->setCurrentIndex(3);  // from another tab: the display poll starts
    settle(1700);
    window.frontPanel().keyClicked(12);  // Menu
    settle(1700);
    ok &= shoot(window, *tabs, 3, file("tab3-front-panel.png"));

    window.close();
    return ok ? 0 : 1;
}
