#include "dialogs/main/dialog_fonts.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace zelmar::dialogs {

void applyMainDialogFonts(QWidget* dialog) {
    QFont base = dialog->font();
    // A condensed sans face where it exists, the usual Windows faces otherwise.
    base.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"),
                      QStringLiteral("Arial")});
    base.setPointSizeF(kDialogFontPointSize);
    dialog->setFont(base);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (child->property("fontRole").toString() == QLatin1String("small")) {
            QFont small = base;
            small.setPointSizeF(kSmallFontPointSize);
            child->setFont(small);
        }
    }
}

}  // namespace zelmar::dialogs
