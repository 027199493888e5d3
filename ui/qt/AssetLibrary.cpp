#include "ui/qt/AssetLibrary.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

namespace metro {

namespace {
QString resourcePath(const QString& name) {
    return QStringLiteral(":/assets/%1.svg").arg(name.toLower());
}
} // namespace

QPixmap AssetLibrary::pixmap(const QString& name, qreal devicePixelRatio) {
    const QString key = name.toLower() + QLatin1Char('@') + QString::number(devicePixelRatio);
    auto found = cache_.constFind(key);
    if (found != cache_.constEnd())
        return *found;

    QSvgRenderer renderer(resourcePath(name));
    QPixmap result;
    if (renderer.isValid()) {
        const QSize size = renderer.defaultSize();
        result = QPixmap((QSizeF(size) * devicePixelRatio).toSize());
        result.fill(Qt::transparent);
        QPainter p(&result);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
        p.end();
        result.setDevicePixelRatio(devicePixelRatio);
    }
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
