#pragma once
// The program's arguments as typed. On Unix they arrive as bytes; an argument
// that is not UTF-8 must not reach a controller with U+FFFD in place of what
// was typed, so its bytes are kept for the option that takes it to refuse.
#include <QStringList>
#include <string>

namespace zelmar::cli {

// argv as text: UTF-8 arguments as they read; in one that is not UTF-8 each
// byte from 0x80 up stands as the lone surrogate U+DC80 to U+DCFF, which no
// UTF-8 text decodes to. On Windows, Qt's arguments (the UTF-16 command line).
QStringList programArguments(int argc, char** argv);

// The bytes of an argument from programArguments(): its UTF-8, or the bytes as
// given when it was not UTF-8, so that a check of the value refuses those.
std::string argumentBytes(const QString& argument);

}  // namespace zelmar::cli
