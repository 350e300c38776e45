#include "comm/input/dns_name.h"

namespace zelmar::comm {

DnsNameParts SplitDnsName(const QString& dnsName) {
    const qsizetype dot = dnsName.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return {dnsName, QString()};
    return {dnsName.left(dot), dnsName.mid(dot + 1)};
}

QString JoinDnsName(const QString& hostName, const QString& domain) {
    if (!hostName.isEmpty() && !domain.isEmpty())
        return hostName + QLatin1Char('.') + domain;
    return hostName + domain;
}

}  // namespace zelmar::comm
