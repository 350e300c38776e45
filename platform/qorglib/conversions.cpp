// Value-to-text conversions, the text copy and the password character check.
#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/qorglib_internal.h"

#include <cstring>
#include <string>

using namespace zelmar::qorg;

namespace {
struct ModelName {
    int code;
    const char* name;
};

// Model codes the controllers report and their names.
constexpr ModelName kModels[] = {
    {100, "Zelmar EXO 12"},      {101, "Zelmar EXO 24"},      {102, "Zelmar EXO 48"},
    {200, "Zelmar Compact 8"},   {201, "Zelmar Compact 16"},  {300, "Zelmar Room Unit RU-2"},
    {400, "Zelmar Gateway GW-1"},
};
}  // namespace

extern "C" const char* CodeToName(int32_t value) {
    thread_local std::string buffer;
    if (value == 0)
        return keepText(buffer, noText().toStdString());
    if (value == -1)
        return keepText(buffer, yesText().toStdString());
    return keepText(buffer, std::to_string(value));
}

extern "C" const char* ModelCodeToName(const char* decimalCode) {
    thread_local std::string buffer;
    const QString codeText = QString::fromUtf8(decimalCode ? decimalCode : "").trimmed();
    bool ok = false;
    const int code = codeText.toInt(&ok);
    if (ok) {
        for (const ModelName& m : kModels)
            if (m.code == code)
                return keepText(buffer, m.name);
    }
    return keepText(buffer, "Unknown model (code " + codeText.toStdString() + ")");
}

extern "C" int32_t CopyText(char* dest, const char* src, int32_t n) {
    if (!dest || !src || n <= 0)
        return 0;
    // Copies up to n bytes, ending early at the source's NUL; writes no terminator.
    int32_t count = 0;
    while (count < n && src[count] != '\0') {
        dest[count] = src[count];
        ++count;
    }
    return count;
}

extern "C" int32_t ScanPasswordChars(const char16_t* text) {
    if (!text)
        return -1;
    // Printable ASCII without the space: 0x21 '!' .. 0x7E '~'.
    for (int32_t i = 0; text[i] != 0; ++i) {
        if (text[i] < 0x21 || text[i] > 0x7E)
            return i;
    }
    return -1;
}
