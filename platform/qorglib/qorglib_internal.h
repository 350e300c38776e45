#pragma once
// Helpers shared by the library's exports; not part of the C interface.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/qorglib/folders.h"
#include "platform/qorglib/language.h"

namespace zelmar::qorg {

// Hands a text out through a per-export, per-thread buffer: the pointer stays
// valid until the same export is called again on the same thread.
const char* keepText(std::string& buffer, std::string text);

// "Yes"/"No" style texts of the current language.
QString yesText();
QString noText();
QString cancelText();  // the Cancel button of messages and questions

// The folder an alias name ("Prod", "SLIB"; no colon) stands for, with a
// trailing '/'; empty for an unknown alias.
QString aliasFolder(const QString& aliasName);

// Turns a path that may start with an alias ("Prod:\Texts\x") into a file
// system path. Both '\' and '/' separate folders.
QString resolvePath(const QString& path);

// The text of `number` in catalogue content (UTF-8); nullopt when missing.
std::optional<std::string> findCatalogueEntry(std::string_view content, std::int32_t number);

}  // namespace zelmar::qorg
