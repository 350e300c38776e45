#pragma once
// The few window-system helpers the dialogs need: the application-wide mouse
// pointer as one value, "let pending window events run", the standard modal
// input box, text measurement in twips, and focusing a control with its text selected.
#include <QFont>
#include <QString>

class QWidget;

namespace zelmar::ui {

enum class MousePointer { Normal = 0, Hourglass = 11 };

// The application-wide mouse pointer as a single value you read and set
// (Qt's override cursor is a stack; this keeps at most one entry on it).
MousePointer mousePointer();
void setMousePointer(MousePointer pointer);

// The application title: the caption of messages, questions and input boxes,
// and the title the start-up call hands the support library. Kept apart from
// Qt's application display name, which the window system would append to every
// window's title. Empty until set: then the application name.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// Let pending window events run once.
void doEvents();
// The same with the technician's input left waiting: windows repaint while a
// long command keeps input blocked.
void doEventsExceptInput();

// The standard modal input box: prompt, one input line, OK and Cancel, the
// application title as caption unless a title is given. Returns the typed text,
// or the empty text on Cancel. hideInput masks what is typed (passwords).
QString inputBox(const QString& prompt, const QString& title = {}, const QString& defaultText = {},
                 bool hideInput = false);

// A Yes/No question through the modal seam, with the application title as
// caption and the tool's captions on its buttons; No is the default button
// when `defaultNo`. With `checkBox` given, a check box below the text,
// unchecked at first, whose state `checked` returns. True on Yes.
bool askYesNo(const QString& question, bool defaultNo, const QString& checkBox = {}, bool* checked = nullptr);

// A command's caption as a window title: without its mnemonic marks and trailing "...".
QString titleOfCaption(const QString& caption);

// The platform's file dialog for one file to open or to save, through the
// modal seam: `start` is the folder or file it starts at, `filter` as
// QFileDialog takes it ("Plans (*.csv)"), `title` a caption (its mnemonic
// marks left out). Returns the path, or empty on Cancel.
QString chooseFileToOpen(const QString& title, const QString& start, const QString& filter);
QString chooseFileToSave(const QString& title, const QString& start, const QString& filter);

// 1440 twips an inch; 15 twips a pixel at 96 dpi (Qt scales for high-dpi screens).
constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
constexpr int pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

// Width of a caption in the given font, in twips. Mnemonic '&' markers are not counted.
int textWidthTwips(const QFont& font, const QString& text);

// Gives the control the focus and selects all its text; on a control without
// text only the focus changes. Never fails; a null control is ignored.
void SelectControlText(QWidget* control);

}  // namespace zelmar::ui
