#include "sitewindow/site_texts.h"

#include "support/support.h"

namespace zelmar::sitewindow {

QString text(Text number) { return support::GetText(number); }

}  // namespace zelmar::sitewindow
