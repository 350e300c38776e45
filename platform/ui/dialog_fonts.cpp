#include "platform/ui/dialog_fonts.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace zelmar::ui {

namespace {

// The Windows dialog face first, so that the tool looks as other Windows tools
// do there; where it is missing (Linux) a condensed face whose widths keep the
// stored captions unclipped, then the usual Windows faces.
QFont dialogFace(QFont font, double pointSize) {
    font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"), QStringLiteral("Arial")});
    font.setPointSizeF(pointSize);
    return font;
}

}  // namespace

void applyDialogFonts(QWidget* dialog, double pointSize, double smallPointSize) {
    dialog->setFont(dialogFace(dialog->font(), pointSize));
    if (smallPointSize > 0)
        applySmallTextFonts(dialog, smallPointSize);
}

void applySmallTextFonts(QWidget* dialog, double pointSize) {
    const QFont small = dialogFace(dialog->font(), pointSize);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (child->property("fontRole").toString() == QLatin1String("small"))
            child->setFont(small);
    }
}

}  // namespace zelmar::ui
