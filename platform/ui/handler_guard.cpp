#include "platform/ui/handler_guard.h"

#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"

#include <QApplication>
#include <QMessageBox>
#include <QScopeGuard>
#include <QThread>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace zelmar::ui {

namespace {
constexpr int kFatalExitCode = 1;

// Set once an error has ended the tool; the main loop is then not entered.
bool& toolEnded() {
    static bool ended = false;
    return ended;
}

void quitApplication(const QString&) {
    // Ends the running event loop(s) with exit code 1. Before any event loop
    // runs (an error during start-up) there is nothing to leave, so the
    // process ends here.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        toolEnded() = true;
        QCoreApplication::exit(kFatalExitCode);
        return;
    }
    std::exit(kFatalExitCode);
}

FatalErrorAction& fatalAction() {
    static FatalErrorAction action = quitApplication;
    return action;
}

void showFatalMessage(const QString& text) {
    ModalRequest request;
    request.kind = ModalKind::Message;
    request.text = text;
    request.title = applicationTitle();
    request.style = 0;
    try {
        if (ModalSeam::take(request))
            return;
    } catch (const std::logic_error&) {
        // Strict test mode with no answer queued: the request is in the log and
        // the fatal action still reports the failure; nothing may leave the guard.
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMessageBox::critical(QApplication::activeWindow(), request.title, text);
}
}  // namespace

void setFatalErrorAction(FatalErrorAction action) {
    fatalAction() = action ? std::move(action) : FatalErrorAction(quitApplication);
}

void guardHandler(const char* handlerName, const std::function<void()>& handler) {
    QString failure;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    const QString message = QStringLiteral("%1 failed: %2\n\nThe tool will now close.")
                                .arg(QString::fromUtf8(handlerName ? handlerName : "command"), failure);
    showFatalMessage(message);
    fatalAction()(message);
}

void guardHandler(HandlerNesting& nesting, const char* handlerName, const std::function<void()>& handler,
                  HandlerStart start) {
    const auto nested = [&nesting, &handler] {
        ++nesting.depth;
        const auto leave = qScopeGuard([&nesting] { --nesting.depth; });
        handler();
    };
    if (nesting.depth > 0 && start == HandlerStart::Signal)
        nested();
    else
        guardHandler(handlerName, nested);
}

int showAndRunMainLoop(QWidget& startWindow) {
    // QCoreApplication::exit leaves only the loops that run; exec() would start afresh.
    if (toolEnded())
        return kFatalExitCode;
    startWindow.show();
    return QApplication::exec();
}

}  // namespace zelmar::ui
