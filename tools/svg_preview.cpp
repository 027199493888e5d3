// svg_preview: look at the program's artwork as the user will see it.
//   svg_preview <assets dir> <out dir>
// Writes every picture at 1x, 2x and 8x, and the whole window composed
// with the rod, the weight, the buttons and the texts the program draws,
// at 1x and 2x, with the tempo scale hidden and shown.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

QString g_in, g_out;

QImage render(const QString& name, double scale) {
    QSvgRenderer svg(g_in + "/" + name + ".svg");
    if (!svg.isValid()) {
        std::fprintf(stderr, "cannot read %s.svg\n", qPrintable(name));
        return {};
    }
    const QSize sz = svg.defaultSize() * scale;
    QImage img(sz, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p, QRectF(QPointF(0, 0), sz));
    return img;
}

// A checkerboard behind a picture shows where it is transparent.
QImage onChecker(const QImage& src) {
    QImage img(src.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    const int c = std::max(4, src.width() / 16);
    for (int y = 0; y < img.height(); y += c)
        for (int x = 0; x < img.width(); x += c)
            p.fillRect(x, y, c, c,
                       ((x / c + y / c) % 2) ? QColor(200, 200, 200) : QColor(120, 160, 120));
    p.drawImage(0, 0, src);
    return img;
}

void text(QPainter& p, double x, double y, double w, double h, const QString& s, QColor c,
          int align = Qt::AlignLeft | Qt::AlignTop) {
    p.setPen(c);
    p.drawText(QRectF(x, y, w, h), align, s);
}

void compose(double k, bool scale, const QString& file) {
    QImage win = render("window", k);
    QPainter p(&win);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f("Liberation Sans");
    f.setPixelSize(int(11 * k));
    p.setFont(f);
    const double tw = k / 15.0; // twips to output pixels

    if (scale) {
        static const int tick[17][4] = {
            {660, 2820, 750, 40},    {825, 2820, 915, 44},    {1005, 2850, 1080, 50},
            {1200, 2850, 1275, 56},  {1410, 2880, 1485, 60},  {1620, 2880, 1695, 66},
            {1830, 2880, 1905, 72},  {2040, 2910, 2115, 80},  {2250, 2910, 2325, 88},
            {2490, 2940, 2565, 96},  {2730, 2970, 2805, 108}, {3030, 3000, 3105, 120},
            {3330, 3030, 3405, 132}, {3630, 3030, 3720, 144}, {3990, 3060, 4065, 160},
            {4410, 3090, 4485, 184}, {4860, 3120, 4935, 208}};
        static const struct {
            int left, top;
            const char* s;
        } help[] = {{120, 720, "Press a key:"},  {120, 1050, "Esc:Exit"}, {120, 1320, "SpaceBar:"},
                    {210, 1530, "Sound on/off"}, {120, 1860, "Enter:"},   {210, 2040, "Play/Stop"},
                    {120, 2370, "+:Tempo+"},     {120, 2700, "-:Tempo-"}, {120, 3030, "T:Show me"},
                    {120, 3360, "1 - 8"}};
        for (int i = 0; i < 10; ++i)
            text(p, help[i].left * tw, help[i].top * tw, 200 * k, 14 * k, help[i].s,
                 i == 0 ? QColor("#FFE0C0") : QColor("#FFFFFF"));
        p.setPen(QPen(QColor("#FFC080"), k));
        for (auto& t : tick)
            p.drawLine(QPointF(t[1] * tw, t[2] * tw), QPointF(3450 * tw, t[2] * tw));
        for (auto& t : tick)
            text(p, 3480 * tw, t[0] * tw, 30 * k, 14 * k, QString::number(t[3]), Qt::white);
    }
    // Buttons, pivot, rod and weight.
    p.drawImage(QPointF(32 * k, 380 * k), render("s", k));
    p.drawImage(QPointF(232 * k, 380 * k), render(scale ? "t" : "tx", k));
    p.drawImage(QPointF(132 * k, 346 * k), render("pivot", k));
    p.setPen(QPen(QColor("#804000"), 4 * k, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(139 * k, 48 * k), QPointF(139 * k, 347 * k));
    p.drawImage(QPointF(134 * k, 202 * k), render("weight", k));
    p.drawImage(QPointF(178 * k, 392 * k), render("play", k));
    // Texts the program draws.
    text(p, 68 * k, 422 * k, 66 * k, 14 * k, "Welcome to : ", Qt::white,
         Qt::AlignHCenter | Qt::AlignTop);
    static const int beatLeft[8] = {1260, 1425, 1590, 1755, 1935, 2100, 2265, 2430};
    for (int i = 0; i < 8; ++i)
        text(p, beatLeft[i] * tw, 5880 * tw, 135 * tw, 195 * tw, QString::number(i + 1),
             i == 1 ? QColor("#C0C0C0") : QColor("#FFFFFF"));
    text(p, 1830 * tw, 5520 * tw, 525 * tw, 165 * tw, "120", Qt::white,
         Qt::AlignHCenter | Qt::AlignTop);
    if (scale)
        p.drawImage(QPointF(234 * k, 2 * k), render("closebox", k));
    p.end();
    win.save(g_out + "/" + file);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <assets dir> <out dir>\n", argv[0]);
        return 2;
    }
    g_in = argv[1];
    g_out = argv[2];
    QDir().mkpath(g_out);
    const char* names[] = {"window", "closebox", "weight", "pivot", "play", "stop",
                           "icon",   "s",        "sx",     "t",     "tx"};
    for (const char* n : names) {
        for (double k : {1.0, 2.0, 8.0}) {
            QImage img = render(n, k);
            if (img.isNull())
                return 1;
            onChecker(img).save(g_out + QString("/%1_%2x.png").arg(n).arg(int(k)));
        }
    }
    for (int s : {16, 48, 64, 128, 256}) {
        QSvgRenderer svg(g_in + "/icon.svg");
        QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p);
        p.end();
        onChecker(img).save(g_out + QString("/icon_%1.png").arg(s));
    }
    compose(1, false, "compose_1x.png");
    compose(2, false, "compose_2x.png");
    compose(1, true, "compose_scale_1x.png");
    // Real pixels of the 1x window, enlarged without smoothing.
    QImage one(g_out + "/compose_scale_1x.png");
    one.copy(64, 20, 150, 400).scaled(600, 1600).save(g_out + "/zoom_body_4x.png");
    one.copy(0, 0, 281, 40).scaled(1124, 160).save(g_out + "/zoom_top_4x.png");
    compose(2, true, "compose_scale_2x.png");
    return 0;
}
