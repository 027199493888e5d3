// svg_to_png: render one SVG picture to a PNG of a given size.
// Used to install the program icon at the hicolor sizes.
//   svg_to_png in.svg out.png [width [height]]
// Without a size the picture's own size is used; with one number it is square.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s in.svg out.png [width [height]]\n", argv[0]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QSize size = svg.defaultSize();
    if (argc > 3) {
        const int w = QString(argv[3]).toInt();
        const int h = argc > 4 ? QString(argv[4]).toInt() : w;
        if (w <= 0 || h <= 0)
            return 2;
        size = QSize(w, h);
    }
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&p, QRectF(QPointF(0, 0), size));
    p.end();
    if (!img.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
