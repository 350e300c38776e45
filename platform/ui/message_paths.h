#pragma once
// Paths in a message stay whole when the message box wraps its text: a wrap
// after "C:" or inside "Program Files" leaves a path nobody can read or copy.
#include <QList>
#include <QString>

namespace zelmar::ui {

// Where a path lies in a text: [start, end).
struct TextSpan {
    qsizetype start = 0;
    qsizetype end = 0;
    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

// The paths in a message: a word that starts with a drive ("C:\", "C:/"), two
// backslashes (a network share) or a slash, on to the end of the path. A path
// goes on over a space when a later word of the same line continues it with
// its separator ("Program Files\Zelmar") or when the longer text names a file
// or folder that exists ("site report.csv"). Closing punctuation after it is
// not part of it.
QList<TextSpan> pathsInMessage(const QString& text);

// The text as a message box shows it: no line may break inside a path. The
// spaces of a path become no-break spaces and a word joiner (U+2060, drawn as
// nothing) stands where a line could otherwise break; everything else stays.
QString keepPathsWhole(const QString& text);

}  // namespace zelmar::ui
