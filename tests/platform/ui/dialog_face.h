#pragma once
// The face the stored layouts were made for, as installed here: Microsoft
// Sans Serif (Windows), Wine's MS Sans Serif (its TrueType face of the same
// widths) or DejaVu Sans Condensed (Linux). Empty where none is: captions
// measured in any other face say nothing about whether they fit.
#include <QFontDatabase>
#include <QString>

namespace zelmar::testing {

// A face wider than the one the layouts were made for, installed wherever the
// dialog tests run (Linux, and the font folder of the Windows tests under Wine).
inline const QString kWideFace = QStringLiteral("DejaVu Sans");

inline QString installedDialogFace() {
    for (const char* face : {"Microsoft Sans Serif", "MS Sans Serif", "DejaVu Sans Condensed"})
        if (QFontDatabase::hasFamily(QLatin1String(face)))
            return QLatin1String(face);
    return {};
}

}  // namespace zelmar::testing
