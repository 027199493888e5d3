#include "ui/qt/AssetLibrary.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

namespace metro {

namespace {
QString resourcePath(const QString& name) {
    return QStringLiteral(":/assets/%1.svg").arg(name.toLower());
}

QString keyOf(const QString& name, qreal devicePixelRatio) {
    return name.toLower() + QLatin1Char('@') + QString::number(devicePixelRatio);
}
} // namespace

QImage AssetLibrary::draw(const QString& name, qreal devicePixelRatio) {
    // A QImage, not a QPixmap: this may run on a worker thread.
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid())
        return {};
    const QSize size = renderer.defaultSize();
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p);
    p.end();
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

void AssetLibrary::prepare(const QString& name, qreal devicePixelRatio) {
    const QString key = keyOf(name, devicePixelRatio);
    if (cache_.contains(key) || drawing_.contains(key))
        return;
    drawing_.insert(key,
                    std::async(std::launch::async, &AssetLibrary::draw, name, devicePixelRatio));
}

QPixmap AssetLibrary::pixmap(const QString& name, qreal devicePixelRatio) {
    const QString key = keyOf(name, devicePixelRatio);
    auto found = cache_.constFind(key);
    if (found != cache_.constEnd())
        return *found;

    const auto started = drawing_.constFind(key);
    QImage image = started != drawing_.constEnd() ? started->get() : draw(name, devicePixelRatio);
    drawing_.remove(key);
    QPixmap result = QPixmap::fromImage(std::move(image));
    cache_.insert(key, result);
    return result;
}

const QPixmap& AssetLibrary::picture(const std::string& name, qreal devicePixelRatio) {
    for (const Kept& k : kept_)
        if (k.devicePixelRatio == devicePixelRatio && k.name == name)
            return k.pixmap;
    kept_.push_back(
        {name, devicePixelRatio,
         name.empty() ? QPixmap() : pixmap(QString::fromStdString(name), devicePixelRatio)});
    return kept_.back().pixmap;
}

QIcon AssetLibrary::icon() {
    return QIcon(resourcePath(QStringLiteral("icon")));
}

} // namespace metro
