#include "platform/ui/modal_seam.h"

#include <QQueue>
#include <stdexcept>

namespace zelmar::ui {

namespace {
// Process-wide: modal calls come from the user-interface thread only.
struct SeamState {
    QQueue<ModalAnswer> answers;
    QList<ModalRequest> log;
    bool strict = false;
};

SeamState& seam() {
    static SeamState state;
    return state;
}

const char* kindName(ModalKind kind) {
    switch (kind) {
    case ModalKind::Message: return "message";
    case ModalKind::Question: return "question";
    case ModalKind::InputBox: return "input box";
    case ModalKind::OpenFile: return "open-file dialog";
    case ModalKind::SaveFile: return "save-file dialog";
    }
    return "modal window";
}
}  // namespace

void ModalSeam::pushAnswer(const ModalAnswer& answer) { seam().answers.enqueue(answer); }
int ModalSeam::pendingAnswers() { return static_cast<int>(seam().answers.size()); }
void ModalSeam::clearAnswers() { seam().answers.clear(); }

void ModalSeam::setStrict(bool strict) { seam().strict = strict; }
bool ModalSeam::strict() { return seam().strict; }

const QList<ModalRequest>& ModalSeam::log() { return seam().log; }
void ModalSeam::clearLog() { seam().log.clear(); }

std::optional<ModalAnswer> ModalSeam::take(const ModalRequest& request) {
    SeamState& s = seam();
    s.log.append(request);
    if (!s.answers.isEmpty())
        return s.answers.dequeue();
    if (s.strict) {
        const QString what = QStringLiteral("unanswered %1 in strict mode: \"%2\"")
                                 .arg(QString::fromLatin1(kindName(request.kind)), request.text);
        throw std::logic_error(what.toStdString());
    }
    return std::nullopt;
}

}  // namespace zelmar::ui
