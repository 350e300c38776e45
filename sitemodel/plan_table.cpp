#include "sitemodel/plan_table.h"


#include "comm/input/dns_name.h"
#include "site/plan_check.h"
#include "sitemodel/phrase_words.h"

namespace zelmar::sitemodel {

namespace {
using site::Column;

// The plan column of each field but the two halves of the DNS name.
std::optional<Column> columnOf(PlanField f) {
    switch (f) {
    case PlanField::Name: return Column::Name;
    case PlanField::Description: return Column::Description;
    case PlanField::UseDhcp: return Column::UseDhcp;
    case PlanField::IpAddress: return Column::IpAddress;
    case PlanField::SubnetMask: return Column::SubnetMask;
    case PlanField::Gateway: return Column::Gateway;
    case PlanField::DnsServer: return Column::DnsServer;
    case PlanField::MainComputer: return Column::MainComputerAddress;
    case PlanField::HostName:
    case PlanField::Domain: return std::nullopt;
    }
    return std::nullopt;
}

// The whole DNS name a row plans, when it plans a part of it.
std::optional<QString> plannedDnsName(const SiteRow& row) {
    const QString& host = row.plannedOf(PlanField::HostName);
    const QString& domain = row.plannedOf(PlanField::Domain);
    if (host.isEmpty() && domain.isEmpty())
        return std::nullopt;
    return comm::JoinDnsName(host.isEmpty() ? presentPlanValue(row.now, PlanField::HostName) : host,
                             domain.isEmpty() ? presentPlanValue(row.now, PlanField::Domain) : domain);
}

const std::vector<Column> kFileColumns = {Column::EthernetAddress, Column::Name,       Column::Description,
                                          Column::UseDhcp,         Column::IpAddress,  Column::SubnetMask,
                                          Column::Gateway,         Column::DnsServer,  Column::DnsName,
                                          Column::MainComputerAddress};
}  // namespace

site::SitePlan planOf(const std::vector<SiteRow>& rows, std::map<int, std::string>* serialOfRow) {
    site::SitePlan plan;
    int number = 1;
    for (const SiteRow& r : rows) {
        if (!r.hasPlan())
            continue;
        site::PlanRow row;
        row.row = ++number;
        row.serialNo = r.now.serialNo;
        row.cells[Column::SerialNo] = r.now.serialNo;
        if (r.found)
            row.cells[Column::EthernetAddress] = r.now.ethernetAddress;
        for (PlanField f : kPlanFields)
            if (const auto c = columnOf(f); c && !r.plannedOf(f).isEmpty())
                row.cells[*c] = r.plannedOf(f).toStdString();
        if (const auto dns = plannedDnsName(r))
            row.cells[Column::DnsName] = dns->toStdString();
        if (serialOfRow)
            (*serialOfRow)[row.row] = row.serialNo;
        plan.rows.push_back(std::move(row));
    }
    plan.rowCount = plan.rows.size();
    return plan;
}

std::string planFileText(const std::vector<SiteRow>& rows, site::PlanFormat format) {
    return site::writePlan(planOf(rows).rows, kFileColumns, format);
}

std::array<QString, kPlanFieldCount> plannedValuesOf(const site::PlanRow& row) {
    std::array<QString, kPlanFieldCount> values;
    for (PlanField f : kPlanFields) {
        const auto c = columnOf(f);
        if (!c)
            continue;
        const auto it = row.cells.find(*c);
        if (it == row.cells.end())
            continue;
        values[std::size_t(f)] = QString::fromStdString(it->second);
        if (f == PlanField::UseDhcp)
            if (const auto b = site::readBoolean(it->second))
                values[std::size_t(f)] = *b ? QStringLiteral("true") : QStringLiteral("false");
    }
    if (const auto dns = row.cells.find(Column::DnsName); dns != row.cells.end()) {
        const comm::DnsNameParts parts = comm::SplitDnsName(QString::fromStdString(dns->second));
        values[std::size_t(PlanField::HostName)] = parts.hostName;
        values[std::size_t(PlanField::Domain)] = parts.domain;
    }
    return values;
}

RowNamer rowNamerOf(const std::map<int, std::string>& serialOfRow) {
    return [serialOfRow](int row) {
        const auto it = serialOfRow.find(row);
        return it == serialOfRow.end() ? QString() : QString::fromStdString(it->second);
    };
}

std::optional<PlanField> fieldOfColumn(const std::string& column) {
    for (PlanField f : kPlanFields)
        if (const auto c = columnOf(f); c && site::columnName(*c) == column)
            return f;
    if (column == site::columnName(Column::DnsName))
        return PlanField::HostName;
    return std::nullopt;
}

std::optional<QString> acceptPlanned(const SiteRow& row, PlanField field, const QString& typed, QString& problem) {
    const bool text = field == PlanField::Name || field == PlanField::Description;
    const QString value = text ? typed : typed.trimmed();
    if (value.isEmpty())
        return QString();
    site::Phrase why;
    if (field == PlanField::HostName || field == PlanField::Domain) {
        SiteRow edited = row;
        edited.plannedOf(field) = value;
        why = site::cellProblem(Column::DnsName, plannedDnsName(edited)->toStdString());
    } else {
        why = site::cellProblem(*columnOf(field), value.toStdString());
    }
    if (!why.empty()) {
        problem = wordsOf(why);
        return std::nullopt;
    }
    if (field == PlanField::UseDhcp)
        return *site::readBoolean(value.toStdString()) ? QStringLiteral("true") : QStringLiteral("false");
    return value;
}

}  // namespace zelmar::sitemodel
