#pragma once
// How a failed check prints Qt's values: as the text, point, size or rectangle they hold,
// not as GoogleTest's dump of their bytes. Found by argument-dependent lookup, so they live
// where Qt's classes do.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(QPoint point, std::ostream* out) {
    *out << '(' << point.x() << ", " << point.y() << ')';
}
inline void PrintTo(QSize size, std::ostream* out) {
    *out << size.width() << 'x' << size.height();
}
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.width() << 'x' << rect.height() << " at (" << rect.x() << ", " << rect.y() << ')';
}
