#include "sitemodel/site_row.h"

#include <algorithm>

#include "comm/input/dns_name.h"
#include "support/support.h"
#include "support/vbool.h"

namespace zelmar::sitemodel {

bool SiteRow::hasPlan() const {
    return std::any_of(planned.begin(), planned.end(), [](const QString& v) { return !v.isEmpty(); });
}

bool SiteRow::hasProblem() const {
    return !rowProblem.isEmpty() ||
           std::any_of(problems.begin(), problems.end(), [](const QString& p) { return !p.isEmpty(); });
}

QString presentPlanValue(const site::ControllerRecord& r, PlanField field) {
    const auto q = [](const std::string& s) { return QString::fromStdString(s); };
    switch (field) {
    case PlanField::Name: return q(r.name);
    case PlanField::Description: return q(r.description);
    case PlanField::UseDhcp: return r.useDhcp ? QStringLiteral("true") : QStringLiteral("false");
    case PlanField::IpAddress: return q(r.ipAddress);
    case PlanField::SubnetMask: return q(r.subnetMask);
    case PlanField::Gateway: return q(r.gateway);
    case PlanField::DnsServer: return q(r.dnsServer);
    case PlanField::HostName: return comm::SplitDnsName(q(r.dnsName)).hostName;
    case PlanField::Domain: return comm::SplitDnsName(q(r.dnsName)).domain;
    case PlanField::MainComputer: return q(r.mainComputerAddress);
    }
    return {};
}

QString presentValue(const site::ControllerRecord& r, PlanField field) {
    if (field == PlanField::UseDhcp)
        return support::GetCodeName(toVBool(r.useDhcp));
    return presentPlanValue(r, field);
}

}  // namespace zelmar::sitemodel
