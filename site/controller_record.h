#pragma once
// A found controller as whole-site work sees it: one snapshot of an entry,
// its JSON object, and its row of the CSV export (which is also the plan format).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QJsonObject>

#include "site/phrase.h"

namespace zelmar::net {
class ControllerEntry;
class NetService;
}  // namespace zelmar::net

namespace zelmar::site {

struct ControllerRecord {
    std::string serialNo;
    std::string ethernetAddress;
    std::string name;
    std::string description;
    bool useDhcp = false;
    std::string ipAddress;
    std::string subnetMask;
    std::string gateway;
    std::string dnsServer;
    std::string dnsName;
    std::string mainComputerAddress;
    bool requireEncryption = false;
    bool passwordOk = true;
    std::uint32_t capabilities = 0;
    std::int16_t modelCode = 0;
    std::int16_t portOsType = 0;
    std::string portOsRevision;
    bool duplicateIpAddress = false;  // another controller found reports the same fixed address
};

ControllerRecord recordOf(const net::ControllerEntry& entry);
// Every entry of the service, in entry order.
std::vector<ControllerRecord> recordsOf(net::NetService& service);

// An IP address that several controllers report, with their serial numbers (sorted).
struct SharedAddress {
    std::string address;
    std::vector<std::string> serialNos;
    std::vector<std::string> byDhcp;  // those of them that hold it by DHCP
};
// The fixed addresses several controllers report; with `leasesToo`, the
// addresses several answer on, fixed or by DHCP.
std::vector<SharedAddress> sharedAddresses(const std::vector<ControllerRecord>& records, bool leasesToo = false);
// "controllers 10-00001, 10-00002 all report the fixed IP address 10.20.1.1";
// with a lease among them "... all answer on the IP address 10.20.1.1 (10-00002 by DHCP)"
std::string sharedAddressText(const SharedAddress& shared);
// "two controllers on one address now: ..." as a phrase of the site library.
Phrase sharedNowPhrase(const SharedAddress& shared);

// Marks the controllers that report a fixed IP address another one reports
// too, and returns one warning text per such address.
std::vector<std::string> markDuplicateAddresses(std::vector<ControllerRecord>& records);

QJsonObject toJson(const ControllerRecord& record);

// The CSV columns, in export order; the plan takes them in any order.
enum class Column {
    SerialNo,
    EthernetAddress,
    Name,
    Description,
    UseDhcp,
    IpAddress,
    SubnetMask,
    Gateway,
    DnsServer,
    DnsName,
    MainComputerAddress,
    RequireEncryption,
    PortOsType,
    PortOsRevision,
};
const std::vector<Column>& allColumns();
std::string_view columnName(Column column);
std::optional<Column> columnNamed(std::string_view name);

// A column's value as the export writes it ("true"/"false" for the Boolean ones).
std::string cellOf(const ControllerRecord& record, Column column);
std::vector<std::string> csvHeader();
std::vector<std::string> csvCells(const ControllerRecord& record);

}  // namespace zelmar::site
