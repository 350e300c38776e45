#include "support/support.h"

#include "platform/qorglib/qorglib.h"
#include "support/ansi_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zelmar::support {

// The library's 8-bit texts are UTF-8 here, so the conversion loses nothing.
QByteArray toAnsi(const QString& text) { return text.toUtf8(); }

QString AnsiPtrToString(const char* text) {
    const std::int32_t n = text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
    QByteArray buffer(n, ' ');
    const std::int32_t copied = CopyText(buffer.data(), text, n);
    return detail::textFromCopyBuffer(std::move(buffer), n, copied);
}

namespace detail {
QString textFromCopyBuffer(QByteArray buffer, std::int32_t n, std::int32_t copied) {
    // A short copy cuts the text to what was copied.
    if (copied != n)
        buffer.truncate(std::clamp<std::int32_t>(copied, 0, n));
    return QString::fromUtf8(buffer);
}
}  // namespace detail

QString GetText(std::int32_t number) {
    std::int32_t out = 0;
    return GetTextFromFile(QString::fromLatin1(kTextsFile), number, 0, out);
}

QString GetTextFromFile(const QString& textsFile, std::int32_t number, std::int32_t reserved, std::int32_t& out) {
    return AnsiPtrToString(ReadTextEntry(toAnsi(textsFile).constData(), number, reserved, &out));
}

void ShowErrorMessage(const QString& text) { ShowMessage(toAnsi(text).constData(), 0); }
void ShowInfoMessage(const QString& text) { ShowMessage(toAnsi(text).constData(), 2); }

bool AskOkCancel(const QString& question) { return AskQuestion(toAnsi(question).constData(), 0, "", 257) == 1; }
bool AskYesNo(const QString& question) { return AskQuestion(toAnsi(question).constData(), 0, "", 4) == 6; }

std::int16_t FileExists(const QString& path) {
    return static_cast<std::int16_t>(CheckFileExists(toAnsi(path).constData()) & 0xFFFF);
}

QString ExpandPathAlias(const QString& alias, std::int32_t reserved, std::int32_t& out) {
    return AnsiPtrToString(AliasToPath(toAnsi(alias).constData(), reserved, &out));
}

QString GetModelName(const QString& decimalModelCode) {
    return AnsiPtrToString(ModelCodeToName(toAnsi(decimalModelCode).constData()));
}

QString GetCodeName(std::int16_t value) {
    return AnsiPtrToString(CodeToName(static_cast<std::int32_t>(value)));  // sign-extended: -1 stays -1
}

std::int32_t FindInvalidPasswordChar(const QString& password) {
    return ScanPasswordChars(reinterpret_cast<const char16_t*>(password.utf16()));
}

}  // namespace zelmar::support
