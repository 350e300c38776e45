#pragma once
// A controller's DNS name and the two fields it is edited in: host name and domain.
#include <QString>

namespace zelmar::comm {

struct DnsNameParts {
    QString hostName;  // before the first dot, or the whole name
    QString domain;    // after the first dot (further dots stay in it), or empty
};

DnsNameParts SplitDnsName(const QString& dnsName);

// Plain concatenation with a dot between two non-empty parts: nothing is
// checked, trimmed or removed.
QString JoinDnsName(const QString& hostName, const QString& domain);

}  // namespace zelmar::comm
