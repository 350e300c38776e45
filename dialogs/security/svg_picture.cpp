#include "dialogs/security/svg_picture.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace zelmar::dialogs {

void showSvgPicture(QLabel* label, const QString& resourcePath) {
    QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid())
        return;
    const qreal ratio = label->devicePixelRatioF();
    QPixmap pixmap(label->size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(label->size())));
    painter.end();
    label->setScaledContents(false);
    label->setPixmap(pixmap);
}

}  // namespace zelmar::dialogs
