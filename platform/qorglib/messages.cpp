// Messages, questions and the start-up call. Every modal window goes through
// the modal seam first, so tests can answer it.
#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/qorglib_internal.h"
#include "platform/ui/modal_seam.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

using zelmar::ui::ModalKind;
using zelmar::ui::ModalRequest;
using zelmar::ui::ModalSeam;

namespace {

// Message box styles: the low four bits choose the buttons, bits 4..7 the icon,
// bits 8..11 which button is the default (0 = first).
enum : int32_t {
    StyleOk = 0,
    StyleOkCancel = 1,
    StyleAbortRetryIgnore = 2,
    StyleYesNoCancel = 3,
    StyleYesNo = 4,
    StyleRetryCancel = 5,
};

// Button codes reported to the caller.
enum : int32_t { CodeOk = 1, CodeCancel = 2, CodeAbort = 3, CodeRetry = 4, CodeIgnore = 5, CodeYes = 6, CodeNo = 7 };

struct ButtonSet {
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton escape;  // what closing the window counts as
};

ButtonSet buttonsFor(int32_t style) {
    switch (style & 0xF) {
    case StyleOkCancel: return {{QMessageBox::Ok, QMessageBox::Cancel}, QMessageBox::Cancel};
    case StyleAbortRetryIgnore: return {{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}, QMessageBox::Abort};
    case StyleYesNoCancel: return {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel};
    case StyleYesNo: return {{QMessageBox::Yes, QMessageBox::No}, QMessageBox::No};
    case StyleRetryCancel: return {{QMessageBox::Retry, QMessageBox::Cancel}, QMessageBox::Cancel};
    default: return {{QMessageBox::Ok}, QMessageBox::Ok};
    }
}

int32_t codeOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Ok: return CodeOk;
    case QMessageBox::Cancel: return CodeCancel;
    case QMessageBox::Abort: return CodeAbort;
    case QMessageBox::Retry: return CodeRetry;
    case QMessageBox::Ignore: return CodeIgnore;
    case QMessageBox::Yes: return CodeYes;
    case QMessageBox::No: return CodeNo;
    default: return CodeCancel;
    }
}

QMessageBox::Icon iconFor(int32_t style, QMessageBox::Icon fallback) {
    switch (style & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case 0x20: return QMessageBox::Question;
    case 0x30: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return fallback;
    }
}

bool haveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

int32_t runBox(QMessageBox::Icon icon, const QString& title, const QString& text, int32_t style) {
    const ButtonSet set = buttonsFor(style);
    QMessageBox box(icon, title.isEmpty() ? QGuiApplication::applicationDisplayName() : title, text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    QList<QAbstractButton*> added;
    for (QMessageBox::StandardButton b : set.buttons)
        added << box.addButton(b);
    // Qt's standard buttons speak English; the answers follow the tool's language.
    if (QAbstractButton* yes = box.button(QMessageBox::Yes))
        yes->setText(zelmar::qorg::yesText());
    if (QAbstractButton* no = box.button(QMessageBox::No))
        no->setText(zelmar::qorg::noText());
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel))
        cancel->setText(zelmar::qorg::cancelText());
    const int defaultIndex = (style >> 8) & 0xF;
    if (defaultIndex < added.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(added[defaultIndex]));
    box.setEscapeButton(box.button(set.escape));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? codeOf(box.standardButton(clicked)) : codeOf(set.escape);
}

}  // namespace

extern "C" int32_t ShowMessage(const char* text, int32_t kind) {
    ModalRequest request;
    request.kind = ModalKind::Message;
    request.text = QString::fromUtf8(text ? text : "");
    request.style = kind;
    if (ModalSeam::take(request))
        return CodeOk;
    if (!haveWidgets()) {
        // No window system in this process: the message still reaches someone.
        std::fprintf(stderr, "%s\n", request.text.toLocal8Bit().constData());
        return CodeOk;
    }
    runBox(kind == 2 ? QMessageBox::Information : QMessageBox::Critical, {}, request.text, StyleOk);
    return CodeOk;
}

extern "C" int32_t AskQuestion(const char* text, int32_t /*owner*/, const char* title, int32_t style) {
    ModalRequest request;
    request.kind = ModalKind::Question;
    request.text = QString::fromUtf8(text ? text : "");
    request.title = QString::fromUtf8(title ? title : "");
    request.style = style;
    if (const auto answer = ModalSeam::take(request))
        return answer->button;
    if (!haveWidgets())
        return codeOf(buttonsFor(style).escape);  // nobody to ask: the negative answer
    return runBox(iconFor(style, QMessageBox::Question), request.title, request.text, style);
}

extern "C" int32_t InitApplication(const char* title, int32_t /*flags1*/, int32_t* out1, int32_t /*flags2*/,
                                   int32_t* out2) {
    if (out1)
        *out1 = 0;
    if (out2)
        *out2 = 0;
    // The title names the windows; the application name stays a file-system-safe
    // identifier (a title such as "TCP/IP" would break temporary-file templates).
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && title && *title)
        QGuiApplication::setApplicationDisplayName(QString::fromUtf8(title));
    return 0;
}
