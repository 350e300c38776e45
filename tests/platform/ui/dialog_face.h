#pragma once
// The face the stored layouts were made for, as installed here: Microsoft
// Sans Serif (Windows), Wine's MS Sans Serif (its TrueType face of the same
// widths) or DejaVu Sans Condensed (Linux). Empty where none is: captions
// measured in any other face say nothing about whether they fit. The
// explanations' face: Microsoft Sans Serif, Wine's Small Fonts, or DejaVu Sans
// Condensed.
#include <QFontDatabase>
#include <QString>
#include <initializer_list>

namespace zelmar::testing {

// A face wider than the one the layouts were made for, installed wherever the
// dialog tests run (Linux, and the font folder of the Windows tests under Wine).
inline const QString kWideFace = QStringLiteral("DejaVu Sans");

inline QString firstInstalled(std::initializer_list<const char*> faces) {
    for (const char* face : faces)
        if (QFontDatabase::hasFamily(QLatin1String(face)))
            return QLatin1String(face);
    return {};
}

inline QString installedDialogFace() {
    return firstInstalled({"Microsoft Sans Serif", "MS Sans Serif", "DejaVu Sans Condensed"});
}

inline QString installedSmallTextFace() {
    return firstInstalled({"Microsoft Sans Serif", "Small Fonts", "DejaVu Sans Condensed"});
}

}  // namespace zelmar::testing
