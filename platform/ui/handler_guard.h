#pragma once
// Exceptions must not cross Qt's event loop. Every event handler of the dialogs
// runs through guardHandler: an exception leaving it is shown in an error
// message that says which command failed and why, and then the tool ends.
#include <QString>
#include <functional>

namespace zelmar::ui {

void guardHandler(const char* handlerName, const std::function<void()>& handler);

// What happens after the error message: by default the application quits with
// exit code 1. Tests replace it to observe the failure instead.
using FatalErrorAction = std::function<void(const QString& message)>;
void setFatalErrorAction(FatalErrorAction action);

}  // namespace zelmar::ui
