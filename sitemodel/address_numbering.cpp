#include "sitemodel/address_numbering.h"

#include <algorithm>

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

std::optional<QStringList> numberedAddresses(const std::vector<SiteRow>& rows, const std::vector<int>& selected) {
    if (selected.size() < 2)
        return QStringList{};
    const SiteRow& first = rows[std::size_t(selected.front())];
    const auto valueOf = [](const SiteRow& r, PlanField f) {
        return r.plannedOf(f).isEmpty() ? presentPlanValue(r.now, f) : r.plannedOf(f);
    };
    std::set<std::uint32_t> taken;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const SiteRow& row = rows[r];
        if (std::find(selected.begin() + 1, selected.end(), int(r)) != selected.end())
            continue;  // being numbered: its address is free to give
        for (const QString& a : {row.found ? presentPlanValue(row.now, PlanField::IpAddress) : QString(),
                                 row.plannedOf(PlanField::IpAddress)})
            if (const auto v = net::ipv4::parse(a.toStdString()))
                taken.insert(*v);
    }
    return nextFreeAddresses(valueOf(first, PlanField::IpAddress), valueOf(first, PlanField::SubnetMask),
                             int(selected.size()) - 1, taken);
}

}  // namespace zelmar::sitemodel
