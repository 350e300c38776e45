#include "platform/qorglib/user_dialogs.h"

#include "platform/qorglib/qorglib_internal.h"

#include <QCoreApplication>
#include <cstdio>

namespace zelmar::qorg {

namespace {
enum : std::int32_t {
    StyleOk = 0,
    StyleOkCancel = 1,
    StyleAbortRetryIgnore = 2,
    StyleYesNoCancel = 3,
    StyleYesNo = 4,
    StyleRetryCancel = 5,
};

// A process without windows: nobody to ask.
class PlainDialogs final : public UserDialogs {
public:
    void tell(const QString& text, std::int32_t) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    std::int32_t ask(const QString&, const QString&, std::int32_t style) override { return answersFor(style).escape; }
    QString input(const QString&, const QString&, bool) override { return {}; }
    bool busy() const override { return busy_; }
    void setBusy(bool busy) override { busy_ = busy; }
    void letEventsRun() override {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
    void setApplicationTitle(const QString&) override {}

private:
    bool busy_ = false;
};

PlainDialogs g_plain;
UserDialogs* g_installed = nullptr;
}  // namespace

Answers answersFor(std::int32_t style) {
    Answers answers;
    answers.defaultIndex = (style >> 8) & 0xF;
    switch (style & 0xF) {
    case StyleOkCancel: answers.codes = {CodeOk, CodeCancel}; answers.escape = CodeCancel; break;
    case StyleAbortRetryIgnore: answers.codes = {CodeAbort, CodeRetry, CodeIgnore}; answers.escape = CodeAbort; break;
    case StyleYesNoCancel: answers.codes = {CodeYes, CodeNo, CodeCancel}; answers.escape = CodeCancel; break;
    case StyleYesNo: answers.codes = {CodeYes, CodeNo}; answers.escape = CodeNo; break;
    case StyleRetryCancel: answers.codes = {CodeRetry, CodeCancel}; answers.escape = CodeCancel; break;
    default: answers.codes = {CodeOk}; answers.escape = CodeOk; break;
    }
    return answers;
}

QString answerCaption(std::int32_t code) {
    switch (code) {
    case CodeYes: return yesText();
    case CodeNo: return noText();
    case CodeCancel: return cancelText();
    default: return {};
    }
}

UserDialogs& userDialogs() { return g_installed ? *g_installed : g_plain; }

void installUserDialogs(UserDialogs* dialogs) { g_installed = dialogs; }

}  // namespace zelmar::qorg
