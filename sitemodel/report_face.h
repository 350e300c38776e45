#pragma once
// The face the printed site report is set in: one face for all of it, the
// mark between a value before and after ("→") included. A face without the
// mark would leave it to a fallback face (under Wine a mathematical one),
// wider and with taller lines, in the rows that changed.
#include <QFont>

namespace zelmar::sitemodel {

// The mark between a value before and after.
inline constexpr char16_t kChangeMark = 0x2192;

// The application's face at `pointSize` when it has the mark; else the first
// installed of Segoe UI, Arial, DejaVu Sans, Liberation Sans and Noto Sans that
// has it; else any installed face that has it.
QFont reportFace(qreal pointSize);

// Whether `font`, as the font system resolves it, draws `c` itself.
bool faceHas(const QFont& font, char16_t c);

}  // namespace zelmar::sitemodel
