// Messages, questions and the start-up call. Messages and questions go to the
// installed user dialogs (platform/ui's go through the modal seam first, so
// tests can answer them).
#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/user_dialogs.h"

using zelmar::qorg::userDialogs;

extern "C" int32_t ShowMessage(const char* text, int32_t kind) {
    userDialogs().tell(QString::fromUtf8(text ? text : ""), kind);
    return zelmar::qorg::CodeOk;
}

extern "C" int32_t AskQuestion(const char* text, int32_t /*owner*/, const char* title, int32_t style) {
    return userDialogs().ask(QString::fromUtf8(text ? text : ""), QString::fromUtf8(title ? title : ""), style);
}

extern "C" int32_t InitApplication(const char* title, int32_t /*flags1*/, int32_t* out1, int32_t /*flags2*/,
                                   int32_t* out2) {
    if (out1)
        *out1 = 0;
    if (out2)
        *out2 = 0;
    // The title captions messages and boxes; the application name stays a
    // file-system-safe identifier (a title such as "TCP/IP" would break
    // temporary-file templates).
    if (title && *title)
        userDialogs().setApplicationTitle(QString::fromUtf8(title));
    return 0;
}
