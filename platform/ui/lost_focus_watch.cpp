#include "platform/ui/lost_focus_watch.h"

#include <QFocusEvent>
#include <QMetaObject>
#include <QWidget>

namespace zelmar::ui {

LostFocusWatch::LostFocusWatch(QWidget* field, std::function<void()> onLostFocus)
    : QObject(field), field_(field), onLostFocus_(std::move(onLostFocus)) {
    field_->installEventFilter(this);
}

bool LostFocusWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::FocusOut && !messageShowing_) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // After the focus event is done: the handler may move the focus itself.
            // By then the dialog may have put the focus back (Close refusing the
            // text) or be showing its own message: nothing more to report.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!messageShowing_ && !field_->hasFocus())
                        onLostFocus_();
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zelmar::ui
