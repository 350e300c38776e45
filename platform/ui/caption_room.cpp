#include "platform/ui/caption_room.h"

#include <QLabel>
#include <QStyle>
#include <algorithm>

namespace zelmar::ui {

namespace {

// Pixels a grown label keeps from its neighbours and from its parent's edges.
constexpr int kGap = 3;

// The columns of its parent a label may take on its line (inclusive): from the
// nearest control (or the parent's edge) on its left to the nearest on its right.
struct Room {
    int left;
    int right;
};

Room roomOnItsLine(const QLabel* label, const QWidget* dialog) {
    const QWidget* parent = label->parentWidget();
    const QRect own = label->geometry();
    Room room{kGap, parent->width() - 1 - kGap};
    for (const QObject* child : parent->children()) {
        const auto* other = qobject_cast<const QWidget*>(child);
        if (!other || other == label || other->isWindow() || !other->isVisibleTo(dialog))
            continue;
        const QRect g = other->geometry();
        // A panel behind the label, or a control above or below its line.
        if (g.contains(own) || g.bottom() < own.top() || g.top() > own.bottom())
            continue;
        if (g.right() < own.left())
            room.left = std::max(room.left, g.right() + 1 + kGap);
        else if (g.left() > own.right())
            room.right = std::min(room.right, g.left() - 1 - kGap);
    }
    // A label never shrinks, even where the stored layout already crowds it.
    room.left = std::min(room.left, own.left());
    room.right = std::max(room.right, own.right());
    return room;
}

void growToItsCaption(QLabel* label, const QWidget* dialog) {
    int missing = label->sizeHint().width() - label->width();
    if (missing <= 0)
        return;
    const Room room = roomOnItsLine(label, dialog);
    QRect g = label->geometry();
    const Qt::Alignment horizontal =
        QStyle::visualAlignment(label->layoutDirection(), label->alignment()) & Qt::AlignHorizontal_Mask;
    const auto growLeft = [&](int wanted) {
        const int step = std::min(wanted, g.left() - room.left);
        g.setLeft(g.left() - step);
        missing -= step;
    };
    const auto growRight = [&](int wanted) {
        const int step = std::min(wanted, room.right - g.right());
        g.setRight(g.right() + step);
        missing -= step;
    };
    if (horizontal & Qt::AlignRight) {
        growLeft(missing);
    } else if (horizontal & Qt::AlignHCenter) {
        growLeft((missing + 1) / 2);
        growRight(missing);
        growLeft(missing);  // what the right side had no room for
    } else {
        growRight(missing);
    }
    label->setGeometry(g);
}

}  // namespace

void growLabelsToTheirCaptions(QWidget* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->wordWrap() || !label->isVisibleTo(dialog))
            continue;
        growToItsCaption(label, dialog);
    }
}

}  // namespace zelmar::ui
