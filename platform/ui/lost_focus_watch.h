#pragma once
// Runs a lost-focus handler for one field, the way every dialog expects it: the
// handler runs after the focus change is complete (queued), so it may put the
// focus back into the field. Focus that leaves because another window became
// active (a message box, another program) or a popup opened is not a lost
// focus, and nothing is reported while the dialog shows a message of its own
// (otherwise the message box taking the focus would re-trigger the check) or
// once the focus is back in the field.
#include <QObject>
#include <functional>

class QWidget;

namespace zelmar::ui {

class LostFocusWatch : public QObject {
public:
    LostFocusWatch(QWidget* field, std::function<void()> onLostFocus);

    // Our own modal message is up: focus changes meanwhile are not the technician's.
    void setMessageShowing(bool showing) { messageShowing_ = showing; }
    bool messageShowing() const { return messageShowing_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* field_;
    std::function<void()> onLostFocus_;
    bool messageShowing_ = false;
};

// Marks a message of the dialog's own as showing for its lifetime.
class MessageShowingScope {
public:
    explicit MessageShowingScope(LostFocusWatch& watch) : watch_(watch), previous_(watch.messageShowing()) {
        watch_.setMessageShowing(true);
    }
    ~MessageShowingScope() { watch_.setMessageShowing(previous_); }
    MessageShowingScope(const MessageShowingScope&) = delete;
    MessageShowingScope& operator=(const MessageShowingScope&) = delete;

private:
    LostFocusWatch& watch_;
    bool previous_;
};

}  // namespace zelmar::ui
