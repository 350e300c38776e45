#pragma once
// The face the dialogs take here (platform/ui/dialog_fonts.cpp), when it is
// one the stored layouts were made for or one of its widths: Microsoft Sans
// Serif (Windows), DejaVu Sans Condensed (Linux), or MS Sans Serif and Small
// Fonts as Wine has them (TrueType). Empty when the dialogs take another one:
// captions measured in any other face say nothing about whether they fit.
#include <QFontDatabase>
#include <QString>
#include <initializer_list>

namespace zelmar::testing {

// A face wider than the one the layouts were made for, installed wherever the
// dialog tests run (Linux, and the font folder of the Windows tests under Wine).
inline const QString kWideFace = QStringLiteral("DejaVu Sans");

// The first installed face of the dialogs' list that ends in `layoutFace`, if
// it is one of the faces measured.
inline QString measuredFace(const char* layoutFace) {
    for (const char* face : {"Microsoft Sans Serif", "DejaVu Sans Condensed", "Segoe UI", "Tahoma", layoutFace})
        if (QFontDatabase::hasFamily(QLatin1String(face))) {
            const QString found = QLatin1String(face);
            return found == QLatin1String("Segoe UI") || found == QLatin1String("Tahoma") ? QString() : found;
        }
    return {};
}

inline QString installedDialogFace() { return measuredFace("MS Sans Serif"); }
inline QString installedSmallTextFace() { return measuredFace("Small Fonts"); }

}  // namespace zelmar::testing
