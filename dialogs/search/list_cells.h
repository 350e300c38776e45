#pragma once
// What the controller list needs so that a technician can read every cell:
// address columns wide enough for a full address in the font in use, and the
// full text of a cell its column cuts short as the cell's tooltip.
#include <QStringView>
#include <QStyledItemDelegate>

class QWidget;

namespace zelmar::dialogs {

// The width a list cell needs to show, in the list's font, the widest text of
// a format: `groups` groups of `perGroup` characters from `characters`, joined
// by `separator` (an IP address: digits, 4 x 3, '.').
int fullFormatWidth(const QWidget& list, QStringView characters, int groups, int perGroup, QChar separator);

// Shows a cell's full text as its tooltip when the column cuts it short.
class CutCellTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace zelmar::dialogs
