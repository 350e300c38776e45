#include "platform/ui/qt_user_dialogs.h"

#include "platform/qorglib/user_dialogs.h"
#include "platform/ui/message_paths.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace zelmar::ui {

namespace {
using qorg::Answers;

QMessageBox::StandardButton buttonFor(std::int32_t code) {
    switch (code) {
    case qorg::CodeOk: return QMessageBox::Ok;
    case qorg::CodeCancel: return QMessageBox::Cancel;
    case qorg::CodeAbort: return QMessageBox::Abort;
    case qorg::CodeRetry: return QMessageBox::Retry;
    case qorg::CodeIgnore: return QMessageBox::Ignore;
    case qorg::CodeYes: return QMessageBox::Yes;
    case qorg::CodeNo: return QMessageBox::No;
    default: return QMessageBox::NoButton;
    }
}

QMessageBox::Icon iconFor(std::int32_t style, QMessageBox::Icon fallback) {
    switch (style & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case 0x20: return QMessageBox::Question;
    case 0x30: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return fallback;
    }
}

bool haveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// Qt copies a message box's text with Ctrl+C (on Windows): the copy gets the
// message as written, without the joiners that keep its paths whole.
class CopiesTheWrittenText final : public QObject {
public:
    CopiesTheWrittenText(QMessageBox* box, const QString& shown, const QString& written)
        : QObject(box), shown_(shown), written_(written) {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* box, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
            return false;
        box->event(event);  // the box copies as it always does
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (QString copied = clipboard->text(); copied.contains(shown_))
            clipboard->setText(copied.replace(shown_, written_));
        return true;
    }

private:
    QString shown_, written_;
};

std::int32_t runBox(QMessageBox::Icon icon, const QString& title, const QString& text, std::int32_t style) {
    const Answers answers = qorg::answersFor(style);
    const QString shown = keepPathsWhole(text);
    QMessageBox box(icon, title.isEmpty() ? applicationTitle() : title, shown,
                    QMessageBox::NoButton, QApplication::activeWindow());
    if (shown != text)
        new CopiesTheWrittenText(&box, shown, text);
    QList<QPushButton*> added;
    for (std::int32_t code : answers.codes) {
        QPushButton* button = box.addButton(buttonFor(code));
        // Qt's standard buttons speak English; the answers follow the tool's language.
        if (const QString caption = qorg::answerCaption(code); !caption.isEmpty())
            button->setText(caption);
        added << button;
    }
    if (answers.defaultIndex < added.size())
        box.setDefaultButton(added[answers.defaultIndex]);
    box.setEscapeButton(box.button(buttonFor(answers.escape)));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? answers.codes.value(added.indexOf(clicked), answers.escape) : answers.escape;
}

class QtUserDialogs final : public qorg::UserDialogs {
public:
    void tell(const QString& text, std::int32_t kind) override {
        ModalRequest request;
        request.kind = ModalKind::Message;
        request.text = text;
        request.style = kind;
        if (ModalSeam::take(request))
            return;
        if (!haveWidgets()) {
            // No window system in this process: the message still reaches someone.
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            return;
        }
        runBox(kind == 2 ? QMessageBox::Information : QMessageBox::Critical, {}, text, 0);
    }

    std::int32_t ask(const QString& text, const QString& title, std::int32_t style) override {
        ModalRequest request;
        request.kind = ModalKind::Question;
        request.text = text;
        request.title = title;
        request.style = style;
        if (const auto answer = ModalSeam::take(request))
            return answer->button;
        if (!haveWidgets())
            return qorg::answersFor(style).escape;  // nobody to ask: the negative answer
        return runBox(iconFor(style, QMessageBox::Question), title, text, style);
    }

    QString input(const QString& prompt, const QString& title, bool masked) override {
        return inputBox(prompt, title.isEmpty() ? applicationTitle() : title, QString(), masked);
    }

    bool busy() const override { return mousePointer() == MousePointer::Hourglass; }
    void setBusy(bool busy) override { setMousePointer(busy ? MousePointer::Hourglass : MousePointer::Normal); }
    void letEventsRun() override { doEvents(); }

    // Not Qt's display name: the window system would append that to every window's title.
    void setApplicationTitle(const QString& title) override { ui::setApplicationTitle(title); }
};
}  // namespace

void installUserDialogs() {
    static QtUserDialogs dialogs;
    qorg::installUserDialogs(&dialogs);
}

}  // namespace zelmar::ui
