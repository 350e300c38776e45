#include "dialogs/search/activation_tracker.h"

#include <QApplication>
#include <QErrorMessage>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QWidget>
#include <QWindow>

namespace zelmar::dialogs {

namespace {

// The top-level widget that owns a platform window, if it is one of ours.
QWidget* widgetOf(QWindow* window) {
    if (!window)
        return nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() == window)
            return top;
    }
    return nullptr;
}

}  // namespace

ActivationTracker::ActivationTracker(QWidget* dialog) : QObject(dialog), dialog_(dialog) {
    // Qt tells the dialog only that it lost activation; which window took over
    // while it was inactive is followed here, so that a box shown over a box
    // or a round trip through another program is still seen.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ActivationTracker::focusWindowChanged);
}

bool ActivationTracker::activationChanged() {
    if (!dialog_)
        return false;
    const bool active = dialog_->isActiveWindow();
    if (active == wasActive_)
        return false;
    wasActive_ = active;
    if (!active) {
        // QApplication already names the window that takes over (none: another program).
        lastSource_ = classify(QApplication::activeWindow());
        return false;
    }
    if (!shownOnce_) {
        shownOnce_ = true;
        return true;
    }
    return lastSource_ == Source::OwnWindow;
}

void ActivationTracker::focusWindowChanged(QWindow* window) {
    if (!dialog_ || wasActive_)
        return;
    QWidget* top = widgetOf(window);
    if (top == dialog_)
        return;  // our own activation; activationChanged() decides about it
    if (window && !top)
        return;  // a window that is not a widget of ours (none in this tool): no change
    lastSource_ = classify(top);
}

ActivationTracker::Source ActivationTracker::classify(QWidget* window) const {
    if (!window)
        return Source::OtherProgram;
    if (window == dialog_)
        return lastSource_;
    // Messages, questions and the input box are QMessageBox and QInputDialog
    // windows; anything opened over the dialog itself (the upgrade's windows
    // among them) belongs to the command that opened it, not to another dialog.
    if (qobject_cast<QMessageBox*>(window) || qobject_cast<QInputDialog*>(window) ||
        qobject_cast<QProgressDialog*>(window) || qobject_cast<QFileDialog*>(window) ||
        qobject_cast<QErrorMessage*>(window) || window->property("zelmarModalBox").toBool())
        return Source::ModalBox;
    for (QWidget* owner = window->parentWidget(); owner; owner = owner->parentWidget()) {
        if (owner == dialog_)
            return Source::ModalBox;
    }
    return Source::OwnWindow;
}

}  // namespace zelmar::dialogs
