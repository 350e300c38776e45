#include "platform/ui/qt_translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <map>
#include <utility>

namespace zelmar::ui {

namespace {
// The standard buttons' texts Qt asks for under "QPlatformTheme", for the tool's languages.
class StandardButtonTexts final : public QTranslator {
public:
    explicit StandardButtonTexts(const QString& language) : language_(language) {}
    bool isEmpty() const override { return language_ != QLatin1String("sv"); }
    QString translate(const char* context, const char* source, const char*, int) const override {
        static const std::map<QString, QString> swedish = {
            {QStringLiteral("OK"), QStringLiteral("OK")},
            {QStringLiteral("Save"), QStringLiteral("Spara")},
            {QStringLiteral("Save All"), QStringLiteral("Spara alla")},
            {QStringLiteral("Open"), QStringLiteral("Öppna")},
            {QStringLiteral("&Yes"), QStringLiteral("&Ja")},
            {QStringLiteral("Yes to &All"), QStringLiteral("Ja till &alla")},
            {QStringLiteral("&No"), QStringLiteral("&Nej")},
            {QStringLiteral("N&o to All"), QStringLiteral("N&ej till alla")},
            {QStringLiteral("Abort"), QStringLiteral("Avbryt")},
            {QStringLiteral("Retry"), QStringLiteral("Försök igen")},
            {QStringLiteral("Ignore"), QStringLiteral("Ignorera")},
            {QStringLiteral("Close"), QStringLiteral("Stäng")},
            {QStringLiteral("Cancel"), QStringLiteral("Avbryt")},
            {QStringLiteral("Discard"), QStringLiteral("Förkasta")},
            {QStringLiteral("Help"), QStringLiteral("Hjälp")},
            {QStringLiteral("Apply"), QStringLiteral("Verkställ")},
            {QStringLiteral("Reset"), QStringLiteral("Återställ")},
            {QStringLiteral("Restore Defaults"), QStringLiteral("Återställ standardvärden")}};
        if (isEmpty() || qstrcmp(context, "QPlatformTheme") != 0)
            return {};
        const auto it = swedish.find(QString::fromUtf8(source));
        return it == swedish.end() ? QString() : it->second;
    }

private:
    QString language_;
};
}  // namespace

void loadQtTranslations(const QString& language) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || language.isEmpty() || language == QLatin1String("en"))
        return;
    // Installed first, so that Qt's own translations, asked before it, win where they have a text.
    app->installTranslator(new StandardButtonTexts(language));
    const QStringList folders = {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& name : {QStringLiteral("qt_"), QStringLiteral("qtbase_")})
        for (const QString& folder : folders) {
            auto* qt = new QTranslator(app);
            if (qt->load(name + language, folder)) {
                app->installTranslator(qt);
                break;
            }
            delete qt;
        }
}

}  // namespace zelmar::ui
