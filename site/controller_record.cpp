#include "site/controller_record.h"

#include <algorithm>
#include <map>

#include "platform/netservice/net_service.h"

namespace zelmar::site {

namespace {
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
std::string boolText(bool v) {
    return v ? "true" : "false";
}
constexpr std::string_view kNoAddress = "0.0.0.0";
}  // namespace

ControllerRecord recordOf(const net::ControllerEntry& e) {
    ControllerRecord r;
    r.serialNo = e.SerialNo();
    r.ethernetAddress = e.EthernetAddress();
    r.name = e.Name();
    r.description = e.Description();
    r.useDhcp = e.UseDhcp();
    r.ipAddress = e.IpAddress();
    r.subnetMask = e.SubnetMask();
    r.gateway = e.Gateway();
    r.dnsServer = e.DnsServer();
    r.dnsName = e.DnsName();
    r.mainComputerAddress = e.MainComputerAddress();
    r.requireEncryption = e.RequireEncryption();
    r.passwordOk = e.PasswordOk();
    r.capabilities = e.Capabilities();
    r.modelCode = e.ModelCode();
    r.portOsType = e.PortOsType();
    r.portOsRevision = e.PortOsRevision();
    return r;
}

std::vector<ControllerRecord> recordsOf(net::NetService& service) {
    std::vector<ControllerRecord> records;
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
        records.push_back(recordOf(*service.Item(std::int16_t(i))));
    return records;
}

std::vector<SharedAddress> sharedAddresses(const std::vector<ControllerRecord>& records, bool leasesToo) {
    std::map<std::string, SharedAddress> byAddress;  // ordered: stable warnings
    for (const ControllerRecord& r : records) {
        if ((r.useDhcp && !leasesToo) || r.ipAddress.empty() || r.ipAddress == kNoAddress)
            continue;
        SharedAddress& a = byAddress[r.ipAddress];
        a.serialNos.push_back(r.serialNo);
        if (r.useDhcp)
            a.byDhcp.push_back(r.serialNo);
    }
    std::vector<SharedAddress> shared;
    for (auto& [address, a] : byAddress) {
        if (a.serialNos.size() < 2)
            continue;
        a.address = address;
        std::sort(a.serialNos.begin(), a.serialNos.end());  // the same text whatever order they answered in
        std::sort(a.byDhcp.begin(), a.byDhcp.end());
        shared.push_back(std::move(a));
    }
    return shared;
}

std::string sharedAddressText(const SharedAddress& shared) {
    auto listed = [](const std::vector<std::string>& serials) {
        std::string names;
        for (const std::string& s : serials)
            names += (names.empty() ? "" : ", ") + s;
        return names;
    };
    if (shared.byDhcp.empty())
        return "controllers " + listed(shared.serialNos) + " all report the fixed IP address " + shared.address;
    return "controllers " + listed(shared.serialNos) + " all answer on the IP address " + shared.address + " (" +
           listed(shared.byDhcp) + " by DHCP)";
}

Phrase sharedNowPhrase(const SharedAddress& shared) {
    auto listed = [](const std::vector<std::string>& serials) {
        std::string names;
        for (const std::string& s : serials)
            names += (names.empty() ? "" : ", ") + s;
        return names;
    };
    return phrase(Say::SharedNow, {shared.address, listed(shared.serialNos), listed(shared.byDhcp)});
}

std::vector<std::string> markDuplicateAddresses(std::vector<ControllerRecord>& records) {
    std::vector<std::string> warnings;
    for (const SharedAddress& shared : sharedAddresses(records)) {
        for (ControllerRecord& r : records)
            if (!r.useDhcp && r.ipAddress == shared.address)
                r.duplicateIpAddress = true;
        warnings.push_back(sharedAddressText(shared));
    }
    return warnings;
}

QJsonObject toJson(const ControllerRecord& r) {
    return QJsonObject{
        {"SerialNo", qs(r.serialNo)},
        {"EthernetAddress", qs(r.ethernetAddress)},
        {"Name", qs(r.name)},
        {"Description", qs(r.description)},
        {"UseDhcp", r.useDhcp},
        {"IpAddress", qs(r.ipAddress)},
        {"SubnetMask", qs(r.subnetMask)},
        {"Gateway", qs(r.gateway)},
        {"DnsServer", qs(r.dnsServer)},
        {"DnsName", qs(r.dnsName)},
        {"MainComputerAddress", qs(r.mainComputerAddress)},
        {"RequireEncryption", r.requireEncryption},
        {"PasswordOk", r.passwordOk},
        {"Capabilities", qint64(r.capabilities)},
        {"ModelCode", r.modelCode},
        {"PortOsType", r.portOsType},
        {"PortOsRevision", qs(r.portOsRevision)},
        {"DuplicateIpAddress", r.duplicateIpAddress},
    };
}

const std::vector<Column>& allColumns() {
    static const std::vector<Column> columns = {
        Column::SerialNo,   Column::EthernetAddress, Column::Name,       Column::Description,
        Column::UseDhcp,    Column::IpAddress,       Column::SubnetMask, Column::Gateway,
        Column::DnsServer,  Column::DnsName,         Column::MainComputerAddress,
        Column::RequireEncryption, Column::PortOsType, Column::PortOsRevision,
    };
    return columns;
}

std::string_view columnName(Column c) {
    switch (c) {
    case Column::SerialNo: return "SerialNo";
    case Column::EthernetAddress: return "EthernetAddress";
    case Column::Name: return "Name";
    case Column::Description: return "Description";
    case Column::UseDhcp: return "UseDhcp";
    case Column::IpAddress: return "IpAddress";
    case Column::SubnetMask: return "SubnetMask";
    case Column::Gateway: return "Gateway";
    case Column::DnsServer: return "DnsServer";
    case Column::DnsName: return "DnsName";
    case Column::MainComputerAddress: return "MainComputerAddress";
    case Column::RequireEncryption: return "RequireEncryption";
    case Column::PortOsType: return "PortOsType";
    case Column::PortOsRevision: return "PortOsRevision";
    }
    return {};
}

std::optional<Column> columnNamed(std::string_view name) {
    for (Column c : allColumns())
        if (columnName(c) == name)
            return c;
    return std::nullopt;
}

std::vector<std::string> csvHeader() {
    std::vector<std::string> header;
    for (Column c : allColumns())
        header.emplace_back(columnName(c));
    return header;
}

std::string cellOf(const ControllerRecord& r, Column c) {
    switch (c) {
    case Column::SerialNo: return r.serialNo;
    case Column::EthernetAddress: return r.ethernetAddress;
    case Column::Name: return r.name;
    case Column::Description: return r.description;
    case Column::UseDhcp: return boolText(r.useDhcp);
    case Column::IpAddress: return r.ipAddress;
    case Column::SubnetMask: return r.subnetMask;
    case Column::Gateway: return r.gateway;
    case Column::DnsServer: return r.dnsServer;
    case Column::DnsName: return r.dnsName;
    case Column::MainComputerAddress: return r.mainComputerAddress;
    case Column::RequireEncryption: return boolText(r.requireEncryption);
    case Column::PortOsType: return std::to_string(r.portOsType);
    case Column::PortOsRevision: return r.portOsRevision;
    }
    return {};
}

std::vector<std::string> csvCells(const ControllerRecord& r) {
    std::vector<std::string> cells;
    for (Column c : allColumns())
        cells.push_back(cellOf(r, c));
    return cells;
}

}  // namespace zelmar::site
