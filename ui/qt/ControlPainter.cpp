#include "ui/qt/ControlPainter.h"

#include "model/WindowLayout.h"

#include <QPainter>
#include <QPen>

namespace metro {

namespace {
constexpr qreal kTwips = WindowLayout::kTwipsPerPixel;

QColor toColor(Rgb rgb) {
    return {static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
            static_cast<int>(rgb & 0xFF)};
}
} // namespace

ControlPainter::ControlPainter(AssetLibrary& assets) : assets_(assets), font_(labelFont()) {
    pen_.setCapStyle(Qt::FlatCap);
}

QFont ControlPainter::labelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(165); // twips: 8.25 pt at 96 dots per inch
    font.setWeight(QFont::Normal);
    font.setUnderline(false);
    return font;
}

void ControlPainter::setHints(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QRectF ControlPainter::bounds(const Control& c) {
    if (c.kind == ControlKind::Line) {
        const auto& l = static_cast<const Line&>(c);
        const qreal pad = l.BorderWidthPixels * kTwips;
        return QRectF(QPointF(l.X1, l.Y1), QPointF(l.X2, l.Y2))
            .normalized()
            .adjusted(-pad, -pad, pad, pad);
    }
    return {c.Left, c.Top, c.Width, c.Height};
}

void ControlPainter::paintPicture(QPainter& p, const std::string& picture, float left, float top,
                                  qreal devicePixelRatio) {
    if (picture.empty())
        return;
    const QPixmap& pm = assets_.picture(picture, devicePixelRatio);
    if (pm.isNull())
        return;
    const QSizeF natural = QSizeF(pm.size()) / devicePixelRatio * kTwips;
    p.drawPixmap(QRectF(QPointF(left, top), natural), pm, QRectF(pm.rect()));
}

void ControlPainter::paint(QPainter& p, const Control& c, qreal devicePixelRatio) {
    if (!c.Visible)
        return;
    switch (c.kind) {
    case ControlKind::PictureBox:
        paintPicture(p, static_cast<const PictureBox&>(c).Picture, c.Left, c.Top, devicePixelRatio);
        break;
    case ControlKind::Image:
        paintPicture(p, static_cast<const Image&>(c).Picture, c.Left, c.Top, devicePixelRatio);
        break;
    case ControlKind::Line: {
        const auto& l = static_cast<const Line&>(c);
        // Flat ends: a round-capped wide pen costs several times more to rasterise, and the
        // rod is drawn on every frame of a swing. The pen is kept and changed only when a
        // line differs, so a frame builds none.
        const QColor colour = toColor(l.BorderColor);
        const qreal width = l.BorderWidthPixels * kTwips;
        if (pen_.color() != colour)
            pen_.setColor(colour);
        if (pen_.widthF() != width)
            pen_.setWidthF(width);
        p.setPen(pen_);
        // A line of odd width covers the pixels from its coordinate on, not half of the
        // pixels on each side: a one-pixel tick stays one crisp pixel high.
        const qreal centre = l.BorderWidthPixels % 2 != 0 ? kTwips / 2 : 0;
        const QPointF shift(centre, centre);
        p.drawLine(QPointF(l.X1, l.Y1) + shift, QPointF(l.X2, l.Y2) + shift);
        break;
    }
    case ControlKind::Label: {
        const auto& l = static_cast<const Label&>(c);
        p.setFont(font_);
        p.setPen(toColor(l.ForeColor));
        const int align =
            Qt::AlignTop | (l.Alignment == TextAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
        p.drawText(QRectF(l.Left, l.Top, l.Width, l.Height), align | Qt::TextDontClip,
                   QString::fromStdString(l.Caption));
        break;
    }
    }
}

} // namespace metro
