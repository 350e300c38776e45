#pragma once
// The language of the tool's texts: ZELMAR_LANG, else the system's ("sv" of
// "sv_SE.UTF-8"), else English.
#include <QString>

namespace zelmar::qorg {

QString currentLanguage();

}  // namespace zelmar::qorg
