#pragma once
// The tool's thin routines over its support library: texts by number,
// messages and questions, path aliases, file existence, value-to-text
// conversions and the password character check. Strings are the tool's own
// (UTF-16 QString); every text passed to the library goes as 8-bit text and
// every text it returns is copied at once. Nothing is cached.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace zelmar::support {

// Name of the texts file, in alias form.
inline constexpr const char* kTextsFile = "Prod:\\Texts\\Zelmar TCP IP Settings Tool";

QByteArray toAnsi(const QString& text);       // tool string -> 8-bit text for the library
QString AnsiPtrToString(const char* text);    // library text -> tool string (null = empty)

QString GetText(std::int32_t number);
QString GetTextFromFile(const QString& textsFile, std::int32_t number, std::int32_t reserved, std::int32_t& out);

void ShowErrorMessage(const QString& text);
void ShowInfoMessage(const QString& text);
bool AskOkCancel(const QString& question);  // true only for OK
bool AskYesNo(const QString& question);     // true only for Yes

std::int16_t FileExists(const QString& path);  // nonzero = exists
QString ExpandPathAlias(const QString& alias, std::int32_t reserved, std::int32_t& out);
QString GetModelName(const QString& decimalModelCode);
QString GetCodeName(std::int16_t value);
std::int32_t FindInvalidPasswordChar(const QString& password);  // -1 = all allowed

}  // namespace zelmar::support
