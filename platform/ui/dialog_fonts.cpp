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

// The captions' faces, the first one installed counting: the Windows dialog
// face, so that the tool looks as other Windows tools do there; then the face
// the layouts were made for, MS Sans Serif, of the same widths (Wine has it as
// a TrueType face of its own); where neither is (Linux) a condensed face whose
// widths keep the stored captions unclipped; then the usual Windows faces.
const QStringList& captionFaces() {
    static const QStringList faces{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("MS Sans Serif"),
                                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Segoe UI"),
                                   QStringLiteral("Tahoma"), QStringLiteral("Arial")};
    return faces;
}

// The explanations' faces: the layouts made them for Small Fonts, whose lines
// are lower than MS Sans Serif's. Windows has it only as a bitmap face, so
// there they take the Windows dialog face; Wine has a TrueType Small Fonts.
const QStringList& smallTextFaces() {
    static const QStringList faces = [] {
        QStringList f = captionFaces();
        f.removeAll(QStringLiteral("MS Sans Serif"));
        f.insert(1, QStringLiteral("Small Fonts"));
        return f;
    }();
    return faces;
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
