#include "platform/netservice/wire/ipv4.h"

#include <charconv>

namespace zelmar::net::ipv4 {

std::optional<std::uint32_t> parse(std::string_view text) {
    if (text.empty() || text.size() > 15)
        return std::nullopt;
    std::uint32_t result = 0;
    int parts = 0;
    std::size_t pos = 0;
    while (parts < 4) {
        std::size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        const std::size_t len = end - pos;
        if (len == 0 || len > 3 || (len > 1 && text[pos] == '0'))
            return std::nullopt;
        unsigned value = 0;
        for (std::size_t i = pos; i < end; ++i)
            value = value * 10 + unsigned(text[i] - '0');
        if (value > 255)
            return std::nullopt;
        result = (result << 8) | value;
        ++parts;
        if (parts < 4) {
            if (end >= text.size() || text[end] != '.')
                return std::nullopt;
            pos = end + 1;
        } else if (end != text.size()) {
            return std::nullopt;
        }
    }
    return result;
}

std::string format(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

std::optional<int> prefixLength(std::uint32_t mask) {
    const std::uint32_t inverted = ~mask;
    // Contiguous when the host part is all ones from bit 0 upwards.
    if ((inverted & (inverted + 1)) != 0)
        return std::nullopt;
    int prefix = 0;
    for (std::uint32_t m = mask; m & 0x80000000u; m <<= 1)
        ++prefix;
    return prefix;
}

std::uint32_t maskOfPrefix(int prefix) {
    if (prefix <= 0)
        return 0;
    if (prefix >= 32)
        return 0xFFFFFFFFu;
    return ~((1u << (32 - prefix)) - 1);
}

std::optional<std::uint32_t> parseMask(std::string_view text) {
    if (!text.empty() && text.front() == '/')
        text.remove_prefix(1);
    if (text.find('.') != std::string_view::npos) {
        const auto mask = parse(text);
        if (!mask || !prefixLength(*mask))
            return std::nullopt;
        return mask;
    }
    int prefix = -1;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), prefix);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || prefix < 0 || prefix > 32)
        return std::nullopt;
    return maskOfPrefix(prefix);
}

std::optional<std::vector<std::uint32_t>> expandTarget(std::string_view target, std::size_t limit) {
    std::vector<std::uint32_t> out;
    if (const auto dash = target.find('-'); dash != std::string_view::npos) {
        const auto first = parse(target.substr(0, dash));
        const auto last = parse(target.substr(dash + 1));
        if (!first || !last || *last < *first || std::uint64_t(*last) - *first + 1 > limit)
            return std::nullopt;
        for (std::uint64_t a = *first; a <= *last; ++a)
            out.push_back(std::uint32_t(a));
        return out;
    }
    if (const auto slash = target.find('/'); slash != std::string_view::npos) {
        const auto base = parse(target.substr(0, slash));
        const auto mask = parseMask(target.substr(slash + 1));
        if (!base || !mask)
            return std::nullopt;
        const int prefix = *prefixLength(*mask);
        const std::uint32_t network = *base & *mask;
        const std::uint64_t size = std::uint64_t(1) << (32 - prefix);
        std::uint64_t first = network, last = network + size - 1;
        if (prefix <= 30) {  // leave out the network and broadcast addresses
            ++first;
            --last;
        }
        if (last - first + 1 > limit)
            return std::nullopt;
        for (std::uint64_t a = first; a <= last; ++a)
            out.push_back(std::uint32_t(a));
        return out;
    }
    const auto one = parse(target);
    if (!one || limit < 1)
        return std::nullopt;
    out.push_back(*one);
    return out;
}

bool isDnsName(std::string_view s) {
    if (s.empty() || s.size() > 253)
        return false;
    std::size_t label = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.') {
            if (label == 0 || s[i - 1] == '-')
                return false;
            label = 0;
            continue;
        }
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok || (c == '-' && label == 0) || ++label > 63)
            return false;
    }
    return label > 0 && s.back() != '-';
}

}  // namespace zelmar::net::ipv4
