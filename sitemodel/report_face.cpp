#include "sitemodel/report_face.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QRawFont>

namespace zelmar::sitemodel {

bool faceHas(const QFont& font, char16_t c) { return QRawFont::fromFont(font).supportsCharacter(QChar(c)); }

QFont reportFace(qreal pointSize) {
    QFont face = QGuiApplication::font();
    face.setPointSizeF(pointSize);
    if (faceHas(face, kChangeMark))
        return face;
    QStringList families{QStringLiteral("Segoe UI"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"),
                         QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans")};
    families += QFontDatabase::families();
    for (const QString& family : families) {
        if (!QFontDatabase::hasFamily(family) || QFontDatabase::isPrivateFamily(family))
            continue;
        QFont candidate(family);
        candidate.setPointSizeF(pointSize);
        // The family itself, not a substitute the font system found for it.
        if (QFontInfo(candidate).family() == family && faceHas(candidate, kChangeMark))
            return candidate;
    }
    return face;  // no face has it: the font system's fallback draws it
}

}  // namespace zelmar::sitemodel
