#pragma once
// Exceptions must not cross Qt's event loop. Every event handler of the dialogs
// runs through guardHandler: an exception leaving it is shown in an error
// message that says which command failed and why, and then the tool ends.
#include <QString>
#include <functional>

class QWidget;

namespace zelmar::ui {

void guardHandler(const char* handlerName, const std::function<void()>& handler);

// A window's handlers also run when its own code changes a control (a text set
// by one handler runs that text's change handler). Such a handler runs inside
// the one that changed the control and its errors travel up to that one: only
// the outermost handler of the window is the edge. One nesting per window.
struct HandlerNesting {
    int depth = 0;
};
// How a handler starts: from a signal (user or code), or from a queued call,
// which comes straight from the event loop and is therefore always an edge.
enum class HandlerStart { Signal, Queued };
void guardHandler(HandlerNesting& nesting, const char* handlerName, const std::function<void()>& handler,
                  HandlerStart start = HandlerStart::Signal);

// What happens after the error message: by default the application quits with
// exit code 1. Tests replace it to observe the failure instead.
using FatalErrorAction = std::function<void(const QString& message)>;
void setFatalErrorAction(FatalErrorAction action);

// The start-up code shows its window and enters the main event loop through
// this. An error that ended the tool while a dialog ran its own loop during
// start-up (before the main loop existed) only left that nested loop: then the
// window is not shown, the main loop is not entered and the exit code is
// returned at once.
int showAndRunMainLoop(QWidget& startWindow);

}  // namespace zelmar::ui
