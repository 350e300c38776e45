#include "sitemodel/site_texts.h"

#include "support/support.h"

namespace zelmar::sitemodel {

QString text(Text number) { return support::GetText(number); }

}  // namespace zelmar::sitemodel
