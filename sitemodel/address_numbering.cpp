#include "sitemodel/address_numbering.h"

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::sitemodel {

std::optional<QStringList> nextFreeAddresses(const QString& first, const QString& mask, int count,
                                             const std::set<std::uint32_t>& taken) {
    const auto start = net::ipv4::parse(first.toStdString());
    const auto bits = net::ipv4::parseMask(mask.toStdString());
    if (!start || !bits)
        return std::nullopt;
    const std::uint32_t network = *start & *bits, broadcast = network | ~*bits;
    QStringList out;
    for (std::uint32_t a = *start; out.size() < count && a < broadcast;) {
        ++a;
        if (a != network && a != broadcast && !taken.count(a))
            out << QString::fromStdString(net::ipv4::format(a));
    }
    return out;
}

}  // namespace zelmar::sitemodel
