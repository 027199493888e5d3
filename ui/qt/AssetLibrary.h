#pragma once
// The program's pictures, drawn from SVG at the screen's pixel density and kept, so a
// picture is rasterised once per density and painted as a plain pixmap afterwards.
// Names are looked up without regard to case ("S" and "s" are the same picture).

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <deque>
#include <future>
#include <string>

namespace metro {

class AssetLibrary {
public:
    // Starts drawing a picture on a worker thread, so that a large one is ready by the time
    // the window first paints; pixmap() waits for it.
    void prepare(const QString& name, qreal devicePixelRatio);
    // The picture at its natural size for the given device pixel ratio; null if unknown.
    QPixmap pixmap(const QString& name, qreal devicePixelRatio);
    // The same for a control's picture name, found again on every later call without
    // building a key: the painter asks for the weight's picture on every beat frame.
    const QPixmap& picture(const std::string& name, qreal devicePixelRatio);
    // The program icon at the sizes a desktop asks for.
    static QIcon icon();

private:
    static QImage draw(const QString& name, qreal devicePixelRatio);
    QHash<QString, QPixmap> cache_;                      // key: lower-case name and ratio
    QHash<QString, std::shared_future<QImage>> drawing_; // the same key
    struct Kept {
        std::string name; // as the control spells it
        qreal devicePixelRatio;
        QPixmap pixmap;
    };
    std::deque<Kept> kept_; // a handful: one per picture name and density in use
};

} // namespace metro
