#pragma once
// Paints the window's controls with a painter whose coordinates are twips. Labels use the
// layout's font, Arial 8.25 pt (165 twips, 11 pixels at the layout's density).

#include "model/Controls.h"
#include "ui/qt/AssetLibrary.h"

#include <QFont>
#include <QPen>
#include <QRectF>

class QPainter;

namespace metro {

class ControlPainter {
public:
    explicit ControlPainter(AssetLibrary& assets);

    void paint(QPainter& p, const Control& c, qreal devicePixelRatio);
    // The area the control covers when painted, in twips (lines include their width).
    static QRectF bounds(const Control& c);

    static QFont labelFont();
    // The render hints every painter of the controls uses: antialiased lines and text, smooth
    // scaled pictures.
    static void setHints(QPainter& p);

private:
    void paintPicture(QPainter& p, const std::string& picture, float left, float top,
                      qreal devicePixelRatio);
    AssetLibrary& assets_;
    QFont font_;
    QPen pen_;
};

} // namespace metro
