#include "platform/qorglib/qorglib_internal.h"

#include <QLocale>
#include <QRegularExpression>

namespace zelmar::qorg {

namespace {
// "sv_SE.UTF-8" -> "sv"
QString languagePart(const QString& name) {
    QString lang = name.trimmed().toLower();
    const qsizetype cut = lang.indexOf(QRegularExpression(QStringLiteral("[_.@-]")));
    if (cut >= 0)
        lang.truncate(cut);
    return lang;
}
}  // namespace

QString currentLanguage() {
    const QString fromEnv = languagePart(qEnvironmentVariable("ZELMAR_LANG"));
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString fromLocale = languagePart(QLocale::system().name());
    return fromLocale.isEmpty() || fromLocale == QLatin1String("c") ? QStringLiteral("en") : fromLocale;
}

QString yesText() { return currentLanguage() == QLatin1String("sv") ? QStringLiteral("Ja") : QStringLiteral("Yes"); }
QString noText() { return currentLanguage() == QLatin1String("sv") ? QStringLiteral("Nej") : QStringLiteral("No"); }
QString cancelText() {
    return currentLanguage() == QLatin1String("sv") ? QStringLiteral("Avbryt") : QStringLiteral("Cancel");
}

}  // namespace zelmar::qorg
