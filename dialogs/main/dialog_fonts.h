#pragma once
// The main dialog's fonts. The stored layout names three font roles: the
// dialog font, "bold" headings and "small" explanatory texts. Its pixel
// positions were made for narrow 8 pt captions; the faces chosen here keep
// every stored caption unclipped at those positions.
class QWidget;

namespace zelmar::dialogs {

inline constexpr double kDialogFontPointSize = 7.5;
inline constexpr double kSmallFontPointSize = 6.5;

// Sets the dialog font on `dialog` and the small font on every child whose
// "fontRole" property is "small"; "bold" children keep their bold weight.
void applyMainDialogFonts(QWidget* dialog);

}  // namespace zelmar::dialogs
