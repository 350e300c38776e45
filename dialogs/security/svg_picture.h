#pragma once
// Pictures of the dialog are drawn from SVG so they stay sharp on high-dpi screens.
#include <QString>

class QLabel;

namespace zelmar::dialogs {

// Renders the SVG resource at the label's size and pixel ratio and shows it
// in the label. An unreadable resource leaves the label as it is.
void showSvgPicture(QLabel* label, const QString& resourcePath);

}  // namespace zelmar::dialogs
