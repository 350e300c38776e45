#include "platform/ui/window_helpers.h"

#include "platform/qorglib/user_dialogs.h"
#include "platform/ui/modal_seam.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QCursor>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <exception>

namespace zelmar::ui {

namespace {
// Whether one entry of Qt's override-cursor stack is ours, and (without a GUI
// application) the value alone.
bool g_overrideOurs = false;
MousePointer g_pointerWithoutGui = MousePointer::Normal;

bool haveGuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }
}  // namespace

MousePointer mousePointer() {
    if (!haveGuiApp())
        return g_pointerWithoutGui;
    const QCursor* top = QGuiApplication::overrideCursor();
    return top && top->shape() == Qt::WaitCursor ? MousePointer::Hourglass : MousePointer::Normal;
}

void setMousePointer(MousePointer pointer) {
    if (!haveGuiApp()) {
        g_pointerWithoutGui = pointer;
        return;
    }
    // Someone else may have emptied the stack (restoreOverrideCursor); then
    // nothing of ours is left on it.
    if (!QGuiApplication::overrideCursor())
        g_overrideOurs = false;
    if (pointer == MousePointer::Hourglass) {
        if (g_overrideOurs)
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        g_overrideOurs = true;
    } else if (g_overrideOurs) {
        QGuiApplication::restoreOverrideCursor();
        g_overrideOurs = false;
    }
}

void doEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void doEventsExceptInput() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace {
QString& storedTitle() {
    static QString title;
    return title;
}
}  // namespace

QString applicationTitle() {
    return storedTitle().isEmpty() ? QCoreApplication::applicationName() : storedTitle();
}

void setApplicationTitle(const QString& title) { storedTitle() = title; }

QString inputBox(const QString& prompt, const QString& title, const QString& defaultText, bool hideInput) {
    ModalRequest request;
    request.kind = ModalKind::InputBox;
    request.text = prompt;
    request.title = title;
    request.hideInput = hideInput;
    if (const auto answer = ModalSeam::take(request))
        return answer->button == ButtonOk ? answer->text : QString();

    QInputDialog box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setLabelText(prompt);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextEchoMode(hideInput ? QLineEdit::Password : QLineEdit::Normal);
    box.setTextValue(defaultText);
    if (box.exec() != QDialog::Accepted)
        return {};
    return box.textValue();
}

bool askYesNo(const QString& question, bool defaultNo, const QString& checkBox, bool* checked) {
    ModalRequest request;
    request.kind = ModalKind::Question;
    request.text = question;
    request.style = 4 | (defaultNo ? 0x100 : 0);  // Yes and No; bits 8..11: the default answer
    request.checkBox = checkBox;
    if (const auto answer = ModalSeam::take(request)) {
        if (checked)
            *checked = !checkBox.isEmpty() && answer->checked;
        return answer->button == ButtonYes;
    }
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    for (const auto button : {QMessageBox::Yes, QMessageBox::No})  // the tool's captions, in its language
        if (const QString caption = qorg::answerCaption(button == QMessageBox::Yes ? qorg::CodeYes : qorg::CodeNo);
            !caption.isEmpty())
            box.button(button)->setText(caption);
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    QCheckBox* tick = checkBox.isEmpty() ? nullptr : new QCheckBox(checkBox, &box);
    if (tick)
        box.setCheckBox(tick);
    const bool yes = box.exec() == QMessageBox::Yes;
    if (checked)
        *checked = tick && tick->isChecked();
    return yes;
}

QString titleOfCaption(const QString& caption) {
    QString title;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size() && caption[i + 1] != u'&')
            continue;  // a mnemonic mark
        if (caption[i] == u'&')
            ++i;  // "&&" is one '&'
        title += caption[i];
    }
    while (title.endsWith(u'.') || title.endsWith(QChar(0x2026)))
        title.chop(1);
    return title.trimmed();
}

namespace {
QString chooseFile(ModalKind kind, const QString& caption, const QString& start, const QString& filter) {
    const QString title = titleOfCaption(caption);
    ModalRequest request;
    request.kind = kind;
    request.text = start;
    request.title = title;
    if (const auto answer = ModalSeam::take(request))
        return answer->button == ButtonOk ? answer->text : QString();
    QWidget* owner = QApplication::activeWindow();
    return kind == ModalKind::OpenFile ? QFileDialog::getOpenFileName(owner, title, start, filter)
                                       : QFileDialog::getSaveFileName(owner, title, start, filter);
}
}  // namespace

QString chooseFileToOpen(const QString& title, const QString& start, const QString& filter) {
    return chooseFile(ModalKind::OpenFile, title, start, filter);
}

QString chooseFileToSave(const QString& title, const QString& start, const QString& filter) {
    return chooseFile(ModalKind::SaveFile, title, start, filter);
}

int textWidthTwips(const QFont& font, const QString& text) {
    // "&x" marks a mnemonic and is drawn as "x"; "&&" is a literal '&'.
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        shown += text[i];
    }
    return pixelsToTwips(QFontMetrics(font).horizontalAdvance(shown));
}

void SelectControlText(QWidget* control) {
    if (!control)
        return;
    // Each step on its own: a failing one is skipped.
    try {
        control->setFocus();
    } catch (const std::exception&) {
    }
    try {
        if (auto* line = qobject_cast<QLineEdit*>(control))
            line->selectAll();
        else if (auto* edit = qobject_cast<QTextEdit*>(control))
            edit->selectAll();
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
            plain->selectAll();
    } catch (const std::exception&) {
    }
}

}  // namespace zelmar::ui
