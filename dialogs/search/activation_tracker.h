#pragma once
// Tells whether a dialog's becoming the active window counts as coming back
// from another of the tool's own windows. The search dialog searches again
// each time that happens (and on its first display), but not when a message
// box, question or input box of the tool closes over it, and not when the
// technician comes back from another program.
#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

namespace zelmar::dialogs {

class ActivationTracker : public QObject {
    Q_OBJECT
public:
    explicit ActivationTracker(QWidget* dialog);

    // To be called from the dialog's changeEvent(QEvent::ActivationChange).
    // True when the dialog has just become active and that activation counts.
    bool activationChanged();

    // Where the activation came from, as last seen (for diagnostics and tests).
    enum class Source { None, OtherProgram, ModalBox, OwnWindow };
    Source lastSource() const { return lastSource_; }

private:
    void focusWindowChanged(QWindow* window);
    Source classify(QWidget* window) const;

    QPointer<QWidget> dialog_;
    bool wasActive_ = false;
    bool shownOnce_ = false;
    Source lastSource_ = Source::None;
};

}  // namespace zelmar::dialogs
