#include "platform/ui/dialog_fonts.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace zelmar::ui {

namespace {

QString& faceForTests() {
    static QString family;
    return family;
}

// The Windows dialog face first, so that the tool looks as other Windows tools
// do there, then the face the layouts were made for, whose widths it keeps
// (Wine has it as a TrueType face of its own); where neither is (Linux) a
// condensed face whose widths keep the stored captions unclipped, then the
// usual Windows faces.
QFont dialogFace(QFont font, double pointSize) {
    QStringList faces{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("MS Sans Serif"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"),
                      QStringLiteral("Arial")};
    if (!faceForTests().isEmpty())
        faces.prepend(faceForTests());
    font.setFamilies(faces);
    font.setPointSizeF(pointSize);
    return font;
}

void applySmallTextFonts(QWidget* dialog, double pointSize) {
    const QFont small = dialogFace(dialog->font(), pointSize);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (child->property("fontRole").toString() == QLatin1String("small"))
            child->setFont(small);
    }
}

}  // namespace

void applyDialogFonts(QWidget* dialog, double pointSize, double smallPointSize) {
    dialog->setFont(dialogFace(dialog->font(), pointSize));
    if (smallPointSize > 0)
        applySmallTextFonts(dialog, smallPointSize);
}

void setDialogFaceForTests(const QString& family) { faceForTests() = family; }

}  // namespace zelmar::ui
