#pragma once
// The dialogs' fonts. The stored layouts were made for the narrow Windows
// dialog face at small sizes: every caption must fit the position it was
// given. Each dialog keeps its stored point sizes; the face is the same for all.
class QWidget;

namespace zelmar::ui {

// Sets the dialog face at `pointSize` on `dialog`, and the small texts (see
// below) when `smallPointSize` is given. Children whose stored font is only
// bold keep their weight and take the face.
void applyDialogFonts(QWidget* dialog, double pointSize, double smallPointSize = 0);

// Sets the dialog face at `pointSize` on every child of `dialog` whose
// "fontRole" property is "small": the explanatory texts.
void applySmallTextFonts(QWidget* dialog, double pointSize);

}  // namespace zelmar::ui
