#pragma once
// Serial numbers as comparable values: "PP-NNNNN" (a series of up to two
// digits, a number of up to five) or seven digits, blanks around ignored.
// The one parser of serial numbers: the library's ParseSerialNoText export,
// the network service's serial filters and the site plans all use it.
#include <cstdint>
#include <optional>
#include <string_view>

namespace zelmar::qorg {

// A serial number's value, series * 100000 + number (0 .. 9'999'999), or
// nullopt when the text is not one.
std::optional<std::uint32_t> serialNumberValue(std::string_view text);

}  // namespace zelmar::qorg
