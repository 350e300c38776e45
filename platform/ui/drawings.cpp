#include "platform/ui/drawings.h"

#include <QLabel>
#include <QPainter>

#ifdef ZELMAR_DRAWINGS_AS_SVG
#include <QSvgRenderer>
#endif

namespace zelmar::ui {

namespace {

QPixmap transparentPixmap(QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

#ifdef ZELMAR_DRAWINGS_AS_SVG
QPixmap render(const QString& name, QSize size, qreal pixelRatio) {
    QPixmap pixmap = transparentPixmap(size, pixelRatio);
    QSvgRenderer renderer(name + QStringLiteral(".svg"));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return pixmap;
}
#else
// The PNG rendered for the nearest density at or above the screen's.
QPixmap render(const QString& name, QSize size, qreal pixelRatio) {
    const bool dense = pixelRatio > 1.0;
    QPixmap stored(name + (dense ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    if (stored.isNull())
        return transparentPixmap(size, pixelRatio);
    const QSize pixels = size * pixelRatio;
    if (stored.size() != pixels)
        stored = stored.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    stored.setDevicePixelRatio(pixelRatio);
    return stored;
}
#endif

}  // namespace

QPixmap drawingPixmap(const QString& name, QSize size, qreal pixelRatio) {
    return render(name, size, pixelRatio > 0 ? pixelRatio : 1.0);
}

QIcon drawingIcon(const QString& name, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        icon.addPixmap(drawingPixmap(name, QSize(size, size), 1.0));
        icon.addPixmap(drawingPixmap(name, QSize(size, size), 2.0));
    }
    return icon;
}

void showDrawing(QLabel* label, const QString& name) {
    label->setScaledContents(false);
    label->setPixmap(drawingPixmap(name, label->size(), label->devicePixelRatioF()));
}

}  // namespace zelmar::ui
