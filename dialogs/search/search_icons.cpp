#include "dialogs/search/search_icons.h"

#include "platform/ui/drawings.h"

namespace zelmar::dialogs {

QIcon searchWindowIcon() {
    QIcon icon;
    for (const int size : {16, 32}) {
        const QString name = QStringLiteral(":/search/search-magnifier-%1").arg(size);
        icon.addPixmap(ui::drawingPixmap(name, QSize(size, size), 1.0));
        icon.addPixmap(ui::drawingPixmap(name, QSize(size, size), 2.0));
    }
    return icon;
}

QIcon controllerRowIcon() {
    return ui::drawingIcon(QStringLiteral(":/search/search-controller-16"), {16});
}

}  // namespace zelmar::dialogs
