#pragma once
// One seam for every modal interaction of the tool (messages, questions, the
// input box). A test queues the answers it wants in advance; each modal call
// then takes the next queued answer instead of showing a window. With the queue
// empty the real Qt window is shown, unless strict mode is on, in which case an
// unanswered modal call is a test failure (it throws) rather than a hang.
#include <QList>
#include <QString>
#include <optional>

namespace zelmar::ui {

enum class ModalKind { Message, Question, InputBox, OpenFile, SaveFile };

// What the tool asked; every modal call is recorded, answered by the seam or not.
struct ModalRequest {
    ModalKind kind = ModalKind::Message;
    QString text;   // message text, question text, input prompt, or the file dialog's first choice
    QString title;  // window title (input box); may be empty
    int style = 0;  // message kind (0 error, 2 information) or question style (4, 257)
    bool hideInput = false;  // input box: typed text is masked
    QString checkBox;        // question: the caption of its check box; empty: none
};

// A button code as the support library reports it (1 = OK, 2 = Cancel,
// 6 = Yes, 7 = No) and, for the input box, the typed text (empty = Cancel);
// for a file dialog, the chosen path (empty = Cancel).
struct ModalAnswer {
    int button = 1;
    QString text;
    bool checked = false;  // a question's check box
};

class ModalSeam {
public:
    static void pushAnswer(const ModalAnswer& answer);
    static void pushButton(int button) { pushAnswer({button, {}}); }
    static void pushInput(const QString& text) { pushAnswer({text.isEmpty() ? 2 : 1, text}); }
    static void pushChoice(int button, bool checked) { pushAnswer({button, {}, checked}); }
    static int pendingAnswers();
    static void clearAnswers();

    // Strict: a modal call with no queued answer throws std::logic_error.
    static void setStrict(bool strict);
    static bool strict();

    static const QList<ModalRequest>& log();
    static void clearLog();

    // Used by the modal implementations: records the request and returns the
    // queued answer if there is one.
    static std::optional<ModalAnswer> take(const ModalRequest& request);
};

// Button codes shared by messages and questions.
enum ButtonCode { ButtonOk = 1, ButtonCancel = 2, ButtonYes = 6, ButtonNo = 7 };

}  // namespace zelmar::ui
