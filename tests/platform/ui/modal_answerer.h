#pragma once
// Answers a real modal window: from a timer in the window's own event loop, it
// waits for QApplication::activeModalWidget() and hands it to `act` once.
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace zelmar::testing {

inline void answerNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            if (++*tries > 5000)  // never shown: give up rather than spin for ever
                timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

}  // namespace zelmar::testing
