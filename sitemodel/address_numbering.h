#pragma once
// Numbering addresses down a column, as a technician plans forty controllers:
// each next row gets the next free address after the one above it.
#include <QString>
#include <QStringList>
#include <optional>
#include <set>
#include <vector>

#include "sitemodel/site_row.h"

namespace zelmar::sitemodel {

// `count` addresses after `first`, in order, leaving out those in `taken` and
// the network and broadcast addresses of the network `mask` gives. Stops
// early (a shorter list) at the end of that network. Nothing when `first` or
// `mask` is not an address.
std::optional<QStringList> nextFreeAddresses(const QString& first, const QString& mask, int count,
                                             const std::set<std::uint32_t>& taken);

// Number addresses on `selected` rows of the table (in the order the table
// shows them): the addresses the rows after the first get, after the first
// row's planned (else present) address in its network. An address another
// row holds or is planned to hold is taken; the rows being numbered give
// theirs up. Nothing when the first row has no address to start from.
std::optional<QStringList> numberedAddresses(const std::vector<SiteRow>& rows, const std::vector<int>& selected);

}  // namespace zelmar::sitemodel
