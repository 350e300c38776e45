#include "dialogs/search/search_icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Resources compiled into a static library are registered only when asked for.
static void initSearchIconResources() { Q_INIT_RESOURCE(search_icons); }

namespace zelmar::dialogs {

namespace {

// Drawn with QSvgRenderer rather than through an image plugin, so the icons
// show wherever Qt Svg is linked, and sharp on high-dpi screens.
QPixmap renderSvg(const QString& resourcePath, int size) {
    initSearchIconResources();
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resourcePath);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    return pixmap;
}

}  // namespace

QIcon searchWindowIcon() {
    QIcon icon;
    icon.addPixmap(renderSvg(QStringLiteral(":/search/magnifier-16.svg"), 16));
    icon.addPixmap(renderSvg(QStringLiteral(":/search/magnifier-32.svg"), 32));
    return icon;
}

QIcon controllerRowIcon() {
    return QIcon(renderSvg(QStringLiteral(":/search/controller-16.svg"), 16));
}

}  // namespace zelmar::dialogs
