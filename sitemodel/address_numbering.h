#pragma once
// Numbering addresses down a column, as a technician plans forty controllers:
// each next row gets the next free address after the one above it.
#include <QString>
#include <QStringList>
#include <optional>
#include <set>

namespace zelmar::sitemodel {

// `count` addresses after `first`, in order, leaving out those in `taken` and
// the network and broadcast addresses of the network `mask` gives. Stops
// early (a shorter list) at the end of that network. Nothing when `first` or
// `mask` is not an address.
std::optional<QStringList> nextFreeAddresses(const QString& first, const QString& mask, int count,
                                             const std::set<std::uint32_t>& taken);

}  // namespace zelmar::sitemodel
