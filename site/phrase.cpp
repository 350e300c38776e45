#include "site/phrase.h"

#include <array>
#include <cstdlib>
#include <ostream>

#include "platform/netservice/controller_entry.h"
#include "site/network_problems.h"

namespace zelmar::site {

namespace {
struct Entry {
    std::string_view name;
    std::string_view english;
};

constexpr Entry kPhrases[] = {
#define ZELMAR_SITE_PHRASE_ENTRY(code, name, english) {name, english},
    ZELMAR_SITE_PHRASES(ZELMAR_SITE_PHRASE_ENTRY)
#undef ZELMAR_SITE_PHRASE_ENTRY
};

const std::string& arg(const Phrase& p, std::size_t i) {
    static const std::string none;
    return i < p.args.size() ? p.args[i] : none;
}

long number(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

// "controllers 10-00001, 10-00002 all report the fixed IP address 10.20.1.1"; a lease among them is named.
std::string sharedWords(const Phrase& p) {
    if (arg(p, 2).empty())
        return "controllers " + arg(p, 1) + " all report the fixed IP address " + arg(p, 0);
    return "controllers " + arg(p, 1) + " all answer on the IP address " + arg(p, 0) + " (" + arg(p, 2) + " by DHCP)";
}

std::string filledIn(const Phrase& p) {
    const std::string_view format = kPhrases[std::size_t(p.say)].english;
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const char c = format[++i];
        if (c >= '1' && c <= '9')
            out += arg(p, std::size_t(c - '1'));
        else if (c == 'N')
            out += describeNetworkProblems(std::uint32_t(number(arg(p, 0))));
        else if (c == 'S')
            out += net::setupRefusalText(int(number(arg(p, 0))));
        else if (c == 'C')
            out += number(arg(p, 0)) == 1 ? "controller" : "controllers";
        else if (c == 'A')
            out += sharedWords(p);
        else
            out += std::string{'%', c};
    }
    return out;
}
}  // namespace

Phrase& Phrase::followedBy(Phrase next) {
    then = {std::move(next)};
    return *this;
}

Phrase phrase(Say say, std::vector<std::string> args) { return Phrase{say, std::move(args), {}}; }

std::string english(const Phrase& p) {
    std::string words = filledIn(p);
    for (const Phrase& next : p.then)
        words += (words.empty() ? "" : ": ") + english(next);
    return words;
}

std::ostream& operator<<(std::ostream& out, const Phrase& p) { return out << english(p); }

std::string_view nameOf(Say say) { return kPhrases[std::size_t(say)].name; }

std::optional<Say> sayNamed(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kPhrases); ++i)
        if (kPhrases[i].name == name)
            return Say(i);
    return std::nullopt;
}

}  // namespace zelmar::site
