// Build-time helper: renders the SVG icon to the PNG sizes the desktop's icon theme wants.
// Usage: render_icons ICON.svg OUTDIR SIZE...   (writes OUTDIR/SIZE/tavrel.png)

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icons ICON.svg OUTDIR SIZE...\n");
        return 64;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) return 1;
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString dir = QString::fromLocal8Bit(argv[2]) + u'/' + QString::number(size);
        QDir().mkpath(dir);
        if (!image.save(dir + QStringLiteral("/tavrel.png"))) return 1;
    }
    return 0;
}
