#include "dialogs/search/list_cells.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>
#include <QAbstractItemView>
#include <algorithm>
#include <cmath>

namespace zelmar::dialogs {

int fullFormatWidth(const QWidget& list, QStringView characters, int groups, int perGroup, QChar separator) {
    // Fractional advances: rounding each character would under-count a long text.
    const QFontMetricsF metrics(list.font());
    qreal widest = 0;
    for (QChar c : characters)
        widest = std::max(widest, metrics.horizontalAdvance(c));
    const qreal text = widest * groups * perGroup + metrics.horizontalAdvance(separator) * (groups - 1);
    // Item views leave this margin on either side of a cell's text.
    const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    return int(std::ceil(text)) + 2 * margin;
}

bool CutCellTips::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                            const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The cell is cut short when it needs more than its column gives it.
    if (!text.isEmpty() && sizeHint(option, index).width() > option.rect.width()) {
        QToolTip::showText(event->globalPos(), text, view, option.rect);
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

}  // namespace zelmar::dialogs
