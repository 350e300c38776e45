#pragma once
// 16-bit truth values as the dialogs and shared state keep them: False = 0,
// True = -1 (all bits set). Any nonzero value counts as True.
#include <cstdint>

namespace zelmar {
using VBool = std::int16_t;
constexpr VBool vbFalse = 0;
constexpr VBool vbTrue = -1;
constexpr VBool toVBool(bool b) { return b ? vbTrue : vbFalse; }
constexpr bool isTrue(VBool v) { return v != 0; }
}  // namespace zelmar
