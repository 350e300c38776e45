#pragma once
// Qt's own texts (the standard buttons, the file dialog, the input box) in
// the tool's language: the translations Qt ships for it, found beside the
// program (translations/, as the Windows build ships them) or among the
// system's, and what those lack for the tool's own languages (the Swedish of
// Qt 6.4 has no standard buttons).
#include <QString>

namespace zelmar::ui {

// Installs them on the application for `language` ("sv"); nothing for English.
void loadQtTranslations(const QString& language);

}  // namespace zelmar::ui
