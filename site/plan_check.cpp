#include "site/plan_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "platform/netservice/controller_entry.h"
#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/setup/setup_rules.h"
#include "platform/qorglib/serial_number.h"

namespace zelmar::site {

namespace ipv4 = net::ipv4;
namespace wire = net::wire;

namespace {
constexpr std::string_view kNoAddress = "0.0.0.0";


// Gateway and DNS server "none" read 0.0.0.0 from a controller.
bool sameAddress(const std::string& a, const std::string& b) {
    const auto pa = ipv4::parse(a.empty() ? kNoAddress : a), pb = ipv4::parse(b.empty() ? kNoAddress : b);
    return pa && pb && *pa == *pb;
}

Phrase ruleOf(std::uint16_t tag) {
    switch (tag) {
    case wire::TagDnsName: return phrase(Say::NotHostName);
    case wire::TagMainComputer: return phrase(Say::NotMainComputer);
    case wire::TagConfigIpAddress: return phrase(Say::NotUsableHostAddress);
    case wire::TagConfigSubnetMask: return phrase(Say::NotSubnetMaskRange);
    case wire::TagConfigGateway: return phrase(Say::GatewayOutside);
    case wire::TagConfigDnsServer: return phrase(Say::NotUsableDnsServer);
    }
    return phrase(Say::RefusedByRules);
}

// A text too long or not clean for its field; none when it is neither.
Phrase textProblem(std::uint16_t tag, const std::string& value) {
    if (value.size() > wire::textLimit(tag))
        return phrase(Say::TooLong, {std::to_string(wire::textLimit(tag))});
    return wire::isCleanUtf8(value) ? Phrase{} : phrase(Say::NotCleanText);
}

// Why a text cell cannot be sent as it stands (the controller's rules for that
// text on its own); none when it can.
Phrase textCellProblem(std::uint16_t tag, std::optional<std::string> wire::SetupFields::*member,
                       const std::string& value) {
    wire::SetupFields one;
    one.*member = value;
    if (!net::rules::checkTexts(one))
        return {};
    Phrase why = textProblem(tag, value);
    return why.empty() ? ruleOf(tag) : why;
}

using TextMember = std::optional<std::string> wire::SetupFields::*;
struct TextColumn {
    Column column;
    std::uint16_t tag;
    TextMember member;
};
constexpr TextColumn kTextColumns[] = {{Column::Name, wire::TagName, &wire::SetupFields::name},
                                       {Column::Description, wire::TagDescription, &wire::SetupFields::description},
                                       {Column::DnsName, wire::TagDnsName, &wire::SetupFields::dnsName},
                                       {Column::MainComputerAddress, wire::TagMainComputer,
                                        &wire::SetupFields::mainComputerAddress}};

// An address cell read on its own: the address, or nothing with `problem` saying why.
std::optional<std::uint32_t> readAddressCell(Column c, const std::string& value, Phrase& problem) {
    const auto parsed = c == Column::SubnetMask ? ipv4::parseMask(value) : ipv4::parse(value);
    if (!parsed)
        problem = phrase(c == Column::SubnetMask ? Say::NotAMask : Say::NotAnAddress, {value});
    return parsed;
}

Phrase booleanProblem(const std::string& value) { return phrase(Say::NotABoolean, {value}); }

// "10.20.1.4 is planned for rows 2, 3" at each of those rows.
void addressesPlannedTwice(const std::map<std::uint32_t, std::vector<int>>& rowsOfAddress,
                           std::vector<PlanProblem>& problems) {
    for (const auto& [address, rows] : rowsOfAddress) {
        if (rows.size() < 2)
            continue;
        std::string list;
        for (int r : rows)
            list += (list.empty() ? "" : ", ") + std::to_string(r);
        for (int r : rows)
            problems.push_back({r, "IpAddress", phrase(Say::PlannedTwice, {ipv4::format(address), list})});
    }
}

// A controller that stays on DHCP keeps answering on its lease: no other
// controller may take that address.
void leasesKept(const std::vector<PlannedSetup>& setups, const std::map<std::uint32_t, std::vector<int>>& rowsOfAddress,
                std::vector<PlanProblem>& problems) {
    for (const PlannedSetup& s : setups) {
        const auto lease = ipv4::parse(s.found.ipAddress);
        if (!s.found.useDhcp || !s.fields.useDhcp.value_or(true) || !lease || *lease == 0)
            continue;
        const auto planned = rowsOfAddress.find(*lease);
        if (planned == rowsOfAddress.end())
            continue;
        for (int r : planned->second)
            problems.push_back({r, "IpAddress", phrase(Say::LeaseKept, {s.found.ipAddress, s.found.serialNo,
                                                                         std::to_string(s.row)})});
    }
}

void sortByRow(std::vector<PlanProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
}

// Reads one row against its controller: what has to change, and what is wrong.
class RowReader {
public:
    RowReader(const PlanRow& row, const ControllerRecord& found, bool havePassword,
              std::vector<PlanProblem>& problems)
        : row_(row), found_(found), havePassword_(havePassword), problems_(problems) {
        setup_.row = row.row;
        setup_.found = found;
    }

    PlannedSetup read() {
        const std::size_t before = problems_.size();
        checkIdentity();
        readTexts();
        readBooleans();
        readAddresses();
        checkEncryption();
        checkTexts();
        if (problems_.size() != before)
            setup_.fields = {};  // a row at fault is not set up
        return setup_;
    }

    // The fixed address the controller has once the row is applied, if any.
    std::optional<std::uint32_t> plannedFixedAddress() const { return plannedAddress_; }

private:
    const std::string* cell(Column c) const {
        const auto it = row_.cells.find(c);
        return it == row_.cells.end() ? nullptr : &it->second;
    }
    // Each text by the controller's rules on its own, so that every one at fault is named.
    void checkTexts() {
        for (const TextColumn& t : kTextColumns)
            if (const std::optional<std::string>& value = setup_.fields.*t.member)
                if (Phrase why = textCellProblem(t.tag, t.member, *value); !why.empty())
                    problem(columnOfTag(t.tag), std::move(why));
    }
    void problem(std::string column, Phrase what) {
        problems_.push_back({row_.row, std::move(column), std::move(what)});
    }

    void checkIdentity() {
        const std::string* mac = cell(Column::EthernetAddress);
        if (!mac)
            return;
        const auto planned = wire::parseEthernet(*mac), reported = wire::parseEthernet(found_.ethernetAddress);
        if (!planned || planned != reported)
            problem("EthernetAddress", phrase(Say::EthernetDiffers, {found_.serialNo, found_.ethernetAddress, *mac}));
    }

    void readTexts() {
        struct Text {
            Column column;
            const std::string& now;
            std::optional<std::string>& field;
        };
        wire::SetupFields& f = setup_.fields;
        for (const Text& t : {Text{Column::Name, found_.name, f.name},
                              Text{Column::Description, found_.description, f.description},
                              Text{Column::DnsName, found_.dnsName, f.dnsName},
                              Text{Column::MainComputerAddress, found_.mainComputerAddress, f.mainComputerAddress}})
            if (const std::string* v = cell(t.column); v && *v != t.now)
                t.field = *v;
    }

    void readBooleans() {
        struct Flag {
            Column column;
            bool now;
            std::optional<bool>& field;
        };
        wire::SetupFields& f = setup_.fields;
        for (const Flag& b : {Flag{Column::UseDhcp, found_.useDhcp, f.useDhcp},
                              Flag{Column::RequireEncryption, found_.requireEncryption, f.requireEncryption}}) {
            const std::string* v = cell(b.column);
            if (!v)
                continue;
            const auto planned = readBoolean(*v);
            if (!planned)
                problem(std::string(columnName(b.column)), booleanProblem(*v));
            else if (*planned != b.now)
                b.field = *planned;
        }
    }

    struct Address {
        Column column;
        const std::string& now;
        std::optional<std::string>& field;
        std::string merged;  // the plan's value over the present one
    };
    using Addresses = Address[4];  // IP address, subnet mask, gateway, DNS server

    void readAddresses() {
        wire::SetupFields& f = setup_.fields;
        Addresses addresses = {{Column::IpAddress, found_.ipAddress, f.configIpAddress, found_.ipAddress},
                               {Column::SubnetMask, found_.subnetMask, f.configSubnetMask, found_.subnetMask},
                               {Column::Gateway, found_.gateway, f.configGateway, found_.gateway},
                               {Column::DnsServer, found_.dnsServer, f.configDnsServer, found_.dnsServer}};
        const bool dhcp = f.useDhcp.value_or(found_.useDhcp);
        const bool wellFormed = mergeAddressCells(addresses, dhcp);
        if (dhcp || !wellFormed)
            return;
        if (found_.useDhcp && !leavingDhcpWithFixedAddress())
            return;
        planFixedAddresses(addresses);
    }

    // Each cell over the present value; false when one is not an address at all.
    bool mergeAddressCells(Addresses& addresses, bool dhcp) {
        bool wellFormed = true;
        for (Address& a : addresses) {
            const std::string* v = cell(a.column);
            if (!v)
                continue;
            Phrase why;
            const auto parsed = readAddressCell(a.column, *v, why);
            if (!parsed) {
                problem(std::string(columnName(a.column)), why);
                wellFormed = false;
                continue;
            }
            a.merged = ipv4::format(*parsed);
            if (dhcp && !sameAddress(a.merged, a.now))
                problem(std::string(columnName(a.column)), phrase(Say::TakesDhcp));
        }
        return wellFormed;
    }

    // Leaving DHCP: the lease is no fixed address, so the plan must give one.
    bool leavingDhcpWithFixedAddress() {
        bool complete = true;
        for (Column needed : {Column::IpAddress, Column::SubnetMask})
            if (!cell(needed)) {
                problem(std::string(columnName(needed)), phrase(Say::LeavingDhcpNeeds, {std::string(columnName(needed))}));
                complete = false;
            }
        return complete;
    }

    void planFixedAddresses(Addresses& addresses) {
        const bool changing = found_.useDhcp || std::any_of(std::begin(addresses), std::end(addresses), [](const Address& a) {
            return !sameAddress(a.merged, a.now);
        });
        if (!changing) {
            // Nothing of the IP settings is sent, so they are the controller's own business
            // (a factory-new one reports 0.0.0.0); its address still counts against duplicates.
            if (const auto ip = ipv4::parse(found_.ipAddress); ip && *ip != 0)
                plannedAddress_ = ip;
            return;
        }
        if (const std::uint16_t bad = net::rules::checkFixedSettings(addresses[0].merged, addresses[1].merged,
                                                                     addresses[2].merged, addresses[3].merged)) {
            problem(columnOfTag(bad), ruleOf(bad));
            return;
        }
        for (Address& a : addresses)
            if (found_.useDhcp || !sameAddress(a.merged, a.now))
                a.field = a.merged;  // leaving DHCP: all four, the configured ones are not the lease
        plannedAddress_ = ipv4::parse(addresses[0].merged);
    }

    void checkEncryption() {
        const wire::SetupFields& f = setup_.fields;
        if (found_.requireEncryption && !havePassword_)
            problem("", phrase(Say::RequiresEncryption));
        else if (found_.requireEncryption && !found_.passwordOk)
            problem("", phrase(Say::PasswordNotAccepted));
        if (f.requireEncryption.value_or(false)) {
            if (!(found_.capabilities & net::CapEncryption))
                problem("RequireEncryption", phrase(Say::CannotEncrypt));
            else if (!havePassword_)
                problem("RequireEncryption", phrase(Say::EncryptionNeedsPassword));
        }
    }

    const PlanRow& row_;
    const ControllerRecord& found_;
    bool havePassword_;
    std::vector<PlanProblem>& problems_;
    PlannedSetup setup_;
    std::optional<std::uint32_t> plannedAddress_;
};

// The controllers found, by serial number as a serial filter matches them: a
// site of a thousand is not scanned once for every row.
class FoundBySerial {
public:
    explicit FoundBySerial(const std::vector<ControllerRecord>& found) : found_(found) {
        for (const ControllerRecord& r : found)
            if (const auto value = qorg::serialNumberValue(r.serialNo))
                byValue_.emplace(*value, &r);  // the first of a number, as a scan in order finds it
    }
    const ControllerRecord* find(const std::string& serial) const {
        if (const auto value = qorg::serialNumberValue(serial))
            if (const auto it = byValue_.find(*value); it != byValue_.end())
                return it->second;
        for (const ControllerRecord& r : found_)  // a serial number that is not a number matches as text
            if (wire::serialMatches(serial, r.serialNo))
                return &r;
        return nullptr;
    }

private:
    const std::vector<ControllerRecord>& found_;
    std::unordered_map<std::uint32_t, const ControllerRecord*> byValue_;
};
}  // namespace

std::optional<bool> readBoolean(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* yes : {"true", "yes", "1", "sant", "ja"})
        if (text == yes)
            return true;
    for (const char* no : {"false", "no", "0", "falskt", "nej"})
        if (text == no)
            return false;
    return std::nullopt;
}

bool PlannedSetup::switchesEncryptionOn() const {
    return fields.requireEncryption.value_or(false) && !found.requireEncryption;
}

PlanCheck checkPlan(const SitePlan& plan, const std::vector<ControllerRecord>& found, bool havePassword) {
    PlanCheck check;
    check.problems = plan.problems;
    std::map<std::uint32_t, std::vector<int>> rowsOfAddress;
    std::set<const ControllerRecord*> inPlan;
    const FoundBySerial bySerial(found);
    for (const PlanRow& row : plan.rows) {
        const ControllerRecord* controller = bySerial.find(row.serialNo);
        if (!controller) {
            check.problems.push_back({row.row, "SerialNo", phrase(Say::NotFound, {row.serialNo})});
            continue;
        }
        inPlan.insert(controller);
        RowReader reader(row, *controller, havePassword, check.problems);
        check.setups.push_back(reader.read());
        if (const auto address = reader.plannedFixedAddress())
            rowsOfAddress[*address].push_back(row.row);
    }

    addressesPlannedTwice(rowsOfAddress, check.problems);
    leasesKept(check.setups, rowsOfAddress, check.problems);
    std::multimap<std::string, const ControllerRecord*> byAddress;  // each address in the order found
    for (const ControllerRecord& r : found)
        byAddress.emplace(r.ipAddress, &r);
    for (const auto& [address, rows] : rowsOfAddress) {
        const std::string text = ipv4::format(address);
        for (auto [it, end] = byAddress.equal_range(text); it != end; ++it) {
            const ControllerRecord& other = *it->second;
            if (inPlan.count(&other) != 0)
                continue;
            for (int r : rows)
                check.problems.push_back({r, "IpAddress", phrase(Say::InUseOutsidePlan, {text, other.serialNo})});
        }
    }
    sortByRow(check.problems);
    return check;
}

namespace {
// One row's cells on their own, with no controller to read them against.
void checkCellsAlone(const PlanRow& row, bool havePassword, std::vector<PlanProblem>& problems,
                     std::map<std::uint32_t, std::vector<int>>& rowsOfAddress) {
    const std::size_t before = problems.size();
    auto problem = [&](Column c, Phrase what) {
        problems.push_back({row.row, std::string(columnName(c)), std::move(what)});
    };
    auto cell = [&](Column c) -> const std::string* {
        const auto it = row.cells.find(c);
        return it == row.cells.end() ? nullptr : &it->second;
    };
    for (const TextColumn& t : kTextColumns)
        if (const std::string* v = cell(t.column))
            if (Phrase why = textCellProblem(t.tag, t.member, *v); !why.empty())
                problem(t.column, std::move(why));
    if (const std::string* mac = cell(Column::EthernetAddress); mac && !wire::parseEthernet(*mac))
        problem(Column::EthernetAddress, phrase(Say::NotEthernet, {*mac}));
    std::optional<bool> dhcp;
    for (Column c : {Column::UseDhcp, Column::RequireEncryption})
        if (const std::string* v = cell(c)) {
            const auto value = readBoolean(*v);
            if (!value)
                problem(c, booleanProblem(*v));
            else if (c == Column::UseDhcp)
                dhcp = value;
            else if (*value && !havePassword)
                problem(c, phrase(Say::EncryptionNeedsPassword));
        }
    std::map<Column, std::string> addresses;  // the well-formed ones, in the form the controller keeps
    for (Column c : {Column::IpAddress, Column::SubnetMask, Column::Gateway, Column::DnsServer})
        if (const std::string* v = cell(c)) {
            Phrase why;
            if (const auto parsed = readAddressCell(c, *v, why))
                addresses[c] = ipv4::format(*parsed);
            else
                problem(c, why);
        }
    // A row that gives the address and the mask decides whether they work together with
    // the gateway and DNS server it gives (those it leaves empty are the controller's).
    if (dhcp.value_or(false) || !addresses.count(Column::IpAddress))
        return;
    rowsOfAddress[*ipv4::parse(addresses[Column::IpAddress])].push_back(row.row);
    if (!addresses.count(Column::SubnetMask) || problems.size() != before)
        return;
    if (const std::uint16_t bad = net::rules::checkFixedSettings(addresses[Column::IpAddress], addresses[Column::SubnetMask],
                                                                 addresses[Column::Gateway], addresses[Column::DnsServer]))
        problems.push_back({row.row, columnOfTag(bad), ruleOf(bad)});
}
}  // namespace

Phrase cellProblem(Column column, const std::string& value) {
    PlanRow row;
    row.cells[column] = value;
    std::vector<PlanProblem> problems;
    std::map<std::uint32_t, std::vector<int>> rowsOfAddress;
    checkCellsAlone(row, true, problems, rowsOfAddress);
    return problems.empty() ? Phrase{} : problems.front().what;
}

std::vector<PlanProblem> checkPlanValues(const SitePlan& plan, bool havePassword) {
    std::vector<PlanProblem> problems;
    std::map<std::uint32_t, std::vector<int>> rowsOfAddress;
    for (const PlanRow& row : plan.rows)
        checkCellsAlone(row, havePassword, problems, rowsOfAddress);
    addressesPlannedTwice(rowsOfAddress, problems);
    sortByRow(problems);
    return problems;
}

std::vector<std::string> differences(const PlannedSetup& s, const ControllerRecord& now) {
    std::vector<std::string> columns;
    const wire::SetupFields& f = s.fields;
    auto text = [&](const std::optional<std::string>& planned, const std::string& reported, Column c) {
        if (planned && *planned != reported)
            columns.emplace_back(columnName(c));
    };
    auto flag = [&](const std::optional<bool>& planned, bool reported, Column c) {
        if (planned && *planned != reported)
            columns.emplace_back(columnName(c));
    };
    auto address = [&](const std::optional<std::string>& planned, const std::string& reported, Column c) {
        if (planned && !sameAddress(*planned, reported))
            columns.emplace_back(columnName(c));
    };
    text(f.name, now.name, Column::Name);
    text(f.description, now.description, Column::Description);
    flag(f.useDhcp, now.useDhcp, Column::UseDhcp);
    address(f.configIpAddress, now.ipAddress, Column::IpAddress);
    address(f.configSubnetMask, now.subnetMask, Column::SubnetMask);
    address(f.configGateway, now.gateway, Column::Gateway);
    address(f.configDnsServer, now.dnsServer, Column::DnsServer);
    text(f.dnsName, now.dnsName, Column::DnsName);
    text(f.mainComputerAddress, now.mainComputerAddress, Column::MainComputerAddress);
    flag(f.requireEncryption, now.requireEncryption, Column::RequireEncryption);
    return columns;
}

std::string columnOfField(const std::string& field) {
    const std::string prefix = "Config";
    if (field.rfind(prefix, 0) == 0)
        return field.substr(prefix.size());
    if (field == "EncryptionPassword")
        return "RequireEncryption";  // the key a plan gives comes with switching encryption on
    return field;
}

std::string columnOfTag(std::uint16_t tag) {
    const std::string field = net::setupFieldOfTag(tag);
    return field.empty() ? "tag " + std::to_string(tag) : columnOfField(field);
}

}  // namespace zelmar::site
