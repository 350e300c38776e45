#pragma once
// How the layers without widgets tell, ask and show that the tool is busy.
// platform/ui implements it with Qt's windows behind the modal seam, and every
// program with windows installs that at start-up (ui::installUserDialogs).
// Without it a plain fallback holds: messages go to the standard error,
// questions get their negative answer, input boxes are cancelled, the busy
// state is only kept.
#include <QList>
#include <QString>
#include <cstdint>

namespace zelmar::qorg {

// Answer codes of messages and questions.
enum AnswerCode : std::int32_t {
    CodeOk = 1,
    CodeCancel = 2,
    CodeAbort = 3,
    CodeRetry = 4,
    CodeIgnore = 5,
    CodeYes = 6,
    CodeNo = 7,
};

// What a question style offers. The low four bits of a style choose the
// answers, bits 4..7 the icon, bits 8..11 the default answer (0 = first).
struct Answers {
    QList<std::int32_t> codes;      // in the order shown
    int defaultIndex = 0;           // may lie past the last answer: then none is the default
    std::int32_t escape = CodeOk;   // what closing the window counts as
};
Answers answersFor(std::int32_t style);

// The caption of an answer in the tool's language; empty where the window
// system's own caption serves.
QString answerCaption(std::int32_t code);

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // A message (kind 0: error or warning, 2: information); returns once it is closed.
    virtual void tell(const QString& text, std::int32_t kind) = 0;
    // A question; returns the code of the answer given.
    virtual std::int32_t ask(const QString& text, const QString& title, std::int32_t style) = 0;
    // An input box under `title` (empty: the application's title); returns the
    // text typed, empty when cancelled. `masked` hides what is typed (passwords).
    virtual QString input(const QString& prompt, const QString& title, bool masked) = 0;
    // The busy pointer of the whole application, as one value.
    virtual bool busy() const = 0;
    virtual void setBusy(bool busy) = 0;
    // Lets pending window events run once.
    virtual void letEventsRun() = 0;
    // The title the application's windows carry.
    virtual void setApplicationTitle(const QString& title) = 0;
};

// The installed dialogs, or the fallback.
UserDialogs& userDialogs();
// Not owned: `dialogs` must outlive its installation. nullptr puts the fallback back.
void installUserDialogs(UserDialogs* dialogs);

}  // namespace zelmar::qorg
