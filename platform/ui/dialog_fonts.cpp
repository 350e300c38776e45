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

// The faces, the first one installed counting: the Windows dialog face, of
// the widths the layouts were made for, so that the tool looks as other
// Windows tools do there; where it is missing (Linux) a condensed face whose
// widths keep the stored captions unclipped; then the usual Windows faces.
// Last but one the face the layouts were made for: MS Sans Serif for the
// captions, Small Fonts for the explanations. Windows has them as bitmap faces
// in whole sizes only, which cut the captions; a system with none of the
// faces before them may have them as TrueType faces (Wine ships such).
QStringList faces(const QString& layoutFace) {
    return {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
            QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"), layoutFace, QStringLiteral("Arial")};
}

const QStringList& captionFaces() {
    static const QStringList list = faces(QStringLiteral("MS Sans Serif"));
    return list;
}

const QStringList& smallTextFaces() {
    static const QStringList list = faces(QStringLiteral("Small Fonts"));
    return list;
}

QFont dialogFace(QFont font, const QStringList& faces, double pointSize) {
    QStringList families = faces;
    if (!faceForTests().isEmpty())
        families.prepend(faceForTests());
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    return font;
}

}  // namespace

void applyDialogFonts(QWidget* dialog, double pointSize, double smallPointSize) {
    dialog->setFont(dialogFace(dialog->font(), captionFaces(), pointSize));
    if (smallPointSize <= 0)
        return;
    const QFont small = dialogFace(dialog->font(), smallTextFaces(), smallPointSize);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (child->property("fontRole").toString() == QLatin1String("small"))
            child->setFont(small);
    }
}

void setDialogFaceForTests(const QString& family) { faceForTests() = family; }

}  // namespace zelmar::ui
