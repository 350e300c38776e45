#include "dialogs/search/paint_throttle.h"

#include <QEvent>

namespace zelmar::dialogs {

PaintThrottle::PaintThrottle(std::initializer_list<QWidget*> widgets, int frameMs) : frameMs_(frameMs) {
    for (QWidget* w : widgets) {
        widgets_.append(QPointer<QWidget>(w));
        w->installEventFilter(this);
    }
}

PaintThrottle::~PaintThrottle() {
    setPainting(true);
    for (const QPointer<QWidget>& w : widgets_) {
        if (w)
            w->removeEventFilter(this);
    }
}

void PaintThrottle::beforeEvents() {
    // The first row paints at once, later ones once a frame.
    if (!sinceFrame_.isValid() || sinceFrame_.elapsed() >= frameMs_) {
        setPainting(true);  // turning updates on repaints the whole widget
        sinceFrame_.start();
    }
}

void PaintThrottle::afterEvents() { setPainting(false); }

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    // An item view lays its rows out from a zero-time timer after every
    // insertion; between frames that timer waits (it stays armed, so it is
    // only put off, never lost).
    if (!painting_ && event->type() == QEvent::Timer)
        return true;
    return QObject::eventFilter(watched, event);
}

void PaintThrottle::setPainting(bool on) {
    if (painting_ == on)
        return;
    painting_ = on;
    for (const QPointer<QWidget>& w : widgets_) {
        if (w)
            w->setUpdatesEnabled(on);
    }
}

}  // namespace zelmar::dialogs
