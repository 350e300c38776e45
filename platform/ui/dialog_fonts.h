#pragma once
// The dialogs' fonts. The stored layouts were made for the narrow Windows
// dialog face at small sizes, and for Small Fonts in their explanations: every
// caption must fit the position it was given. Each dialog keeps its stored
// point sizes; the faces are the same for all.
class QString;
class QWidget;

namespace zelmar::ui {

// Sets the dialog face at `pointSize` on `dialog`, and the face of the
// explanations at `smallPointSize`, when that is given, on every child whose
// "fontRole" property is "small". Children whose stored font is only bold
// keep their weight and take the dialog face.
void applyDialogFonts(QWidget* dialog, double pointSize, double smallPointSize = 0);

// Tests: dialogs made from now on take `family` before every dialog face, to
// see them in a face other than the one the layouts were made for; the empty
// text puts the usual faces back.
void setDialogFaceForTests(const QString& family);

}  // namespace zelmar::ui
