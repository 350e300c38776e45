#pragma once
// The face the stored layouts were made for, as installed here: Microsoft
// Sans Serif (Windows) or DejaVu Sans Condensed (Linux). Empty where neither
// is, as for the offscreen platform of the Windows build under Wine, whose
// font folder groups the condensed face under DejaVu Sans: captions measured
// in any other face say nothing about whether they fit.
#include <QFontDatabase>
#include <QString>

namespace zelmar::testing {

inline QString installedDialogFace() {
    for (const char* face : {"Microsoft Sans Serif", "DejaVu Sans Condensed"})
        if (QFontDatabase::hasFamily(QLatin1String(face)))
            return QLatin1String(face);
    return {};
}

}  // namespace zelmar::testing
