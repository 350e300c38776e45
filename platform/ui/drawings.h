#pragma once
// The dialogs' pictures are drawings, named without a format
// (":/main/main-controller"). Where Qt SVG is linked they are SVG resources
// rendered for the screen's pixel density; where it is not (the Windows
// build) they were rendered to PNG at build time, at their size and at twice
// it, by the same renderer.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

class QLabel;

namespace zelmar::ui {

// The drawing at `size` (logical pixels) for a screen of `pixelRatio`. A
// drawing the resources lack gives a transparent pixmap.
QPixmap drawingPixmap(const QString& name, QSize size, qreal pixelRatio);

// The drawing at each of `sizes`, for window icons.
QIcon drawingIcon(const QString& name, std::initializer_list<int> sizes);

// Shows the drawing in `label`, at the label's size and pixel ratio.
void showDrawing(QLabel* label, const QString& name);

}  // namespace zelmar::ui
