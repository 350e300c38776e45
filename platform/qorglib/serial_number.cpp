// Serial numbers: "PP-NNNNN", a series of up to two digits and a number of up
// to five digits. The value is series * 100000 + number, at most 9'999'999,
// which a single-precision float holds exactly, so distinct serial numbers
// never give the same value.
#include "platform/qorglib/serial_number.h"

#include "platform/qorglib/qorglib.h"

namespace zelmar::qorg {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits only, leading zeros allowed, value at most `limit`.
std::optional<std::uint32_t> digitsValue(std::string_view digits, std::uint32_t limit) {
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return std::uint32_t(value);
}
}  // namespace

std::optional<std::uint32_t> serialNumberValue(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    std::string_view series;
    std::string_view number;
    const size_t dash = text.find('-');
    if (dash != std::string_view::npos) {
        series = text.substr(0, dash);
        number = text.substr(dash + 1);
    } else {
        // Without the dash only the full seven digits are unambiguous.
        if (text.size() != 7)
            return std::nullopt;
        series = text.substr(0, 2);
        number = text.substr(2);
    }
    const auto s = digitsValue(series, 99);
    const auto n = digitsValue(number, 99'999);
    if (!s || !n)
        return std::nullopt;
    return *s * 100'000u + *n;
}

}  // namespace zelmar::qorg

extern "C" int32_t ParseSerialNoText(const char* text, float* value) {
    if (!value)
        return 0;
    const auto parsed = text ? zelmar::qorg::serialNumberValue(text) : std::nullopt;
    if (!parsed) {
        *value = 0.0f;
        return 0;
    }
    *value = static_cast<float>(*parsed);
    return 1;
}
