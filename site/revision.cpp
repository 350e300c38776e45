#include "site/revision.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace zelmar::site {

namespace {
// "3.0.4" as {3, 0, 4}; nothing when a part is empty or not all digits.
std::optional<std::vector<unsigned long>> dottedNumber(const std::string& text) {
    std::vector<unsigned long> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 9 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        parts.push_back(std::stoul(part));
        if (dot == std::string::npos)
            return parts;
        start = dot + 1;
    }
}
}  // namespace

RevisionOrder compareRevisions(const std::string& first, const std::string& second) {
    if (first == second)
        return RevisionOrder::Same;
    auto a = dottedNumber(first), b = dottedNumber(second);
    if (!a || !b)
        return RevisionOrder::Different;
    const std::size_t n = std::max(a->size(), b->size());
    a->resize(n, 0);  // 3.0 is 3.0.0
    b->resize(n, 0);
    if (*a == *b)
        return RevisionOrder::Same;
    return *a < *b ? RevisionOrder::Older : RevisionOrder::Newer;
}

}  // namespace zelmar::site
