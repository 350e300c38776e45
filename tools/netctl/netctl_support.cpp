#include "tools/netctl/netctl_support.h"

#include <QJsonDocument>
#include <algorithm>
#include <ostream>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/wire/wire.h"
#include "tools/netctl/csv.h"

namespace zelmar::netctl {

std::string serialProblem(const std::string& serial) {
    if (serial.empty())
        return "the serial number is empty";
    const std::string problem = net::wire::textProblem(net::wire::TagSerialFilter, serial);
    return problem.empty() ? problem : "the serial number " + problem;
}

std::shared_ptr<net::ControllerEntry> entryOf(net::NetService& service, const std::string& serial) {
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i) {
        auto e = service.Item(std::int16_t(i));
        if (net::wire::serialMatches(serial, e->SerialNo()))
            return e;
    }
    return nullptr;
}

std::shared_ptr<net::ControllerEntry> lookUpAnswering(net::NetService& service, const std::string& serial) {
    service.Clear();
    service.setSearchSerialNo(serial);
    service.AddSerialNoSearch();
    service.Search();
    auto e = entryOf(service, serial);
    return e && e->AnsweredLastSearch() ? e : nullptr;
}

std::vector<ControllerRecord> searchForSerials(net::NetService& service, const std::vector<std::string>& serials,
                                               const std::function<void(const std::string&)>& progress) {
    service.Clear();
    service.Search();
    const auto unheard = std::count_if(serials.begin(), serials.end(),
                                       [&](const std::string& serial) { return !entryOf(service, serial); });
    if (unheard > 0) {
        progress(std::to_string(unheard) + (unheard == 1 ? " controller" : " controllers") +
                 " of the list did not answer the search: searching once more ...");
        service.Search();
    }
    return recordsOf(service);
}

std::shared_ptr<net::ControllerEntry> reach(net::NetService& service, const std::string& serial) {
    if (auto e = entryOf(service, serial))
        return e;
    return lookUpAnswering(service, serial);
}

std::shared_ptr<net::ControllerEntry> lookUpForCommand(const std::string& serial, const Context& c) {
    net::NetService service(c.options.config);
    service.setPassword(c.options.password);
    auto entry = lookUpAnswering(service, serial);
    if (!entry)
        c.err << "controller " << serial << " not found\n";
    return entry;
}

CommandTarget lookUpSerialArgument(const std::vector<std::string>& args, const Context& c) {
    if (args.size() != 1)
        return {nullptr, c.usage("needs exactly one SERIAL")};
    if (const std::string problem = serialProblem(args[0]); !problem.empty())
        return {nullptr, c.usage(problem)};
    return {lookUpForCommand(args[0], c)};
}

std::string identityOnlyReason(net::ControllerEntry& e, const Options& o) {
    return identityOnlyReason(recordOf(e), o);
}

std::string identityOnlyReason(const ControllerRecord& found, const Options& o) {
    if (!found.requireEncryption || found.passwordOk)
        return {};
    return o.password.empty() ? "it requires encryption and no network password was given"
                              : "the network password was not accepted";
}

void tellNoneAnswered(std::ostream& err) {
    err << "no controller answered the search: check the network cable and the service configuration"
           " (ZELMAR_NETSERVICE_CONFIG)\n";
}

void printHeader(const Options& o, std::ostream& out) {
    if (o.csv)
        out << csv::line(csvHeader());
}

void printRecord(const ControllerRecord& r, const Options& o, std::ostream& out) {
    if (o.csv)
        out << csv::line(csvCells(r));
    else if (o.json)
        out << QJsonDocument(toJson(r)).toJson(QJsonDocument::Compact).toStdString() << "\n";
    else
        out << r.serialNo << "  " << r.ethernetAddress << "  " << r.ipAddress << "  " << (r.useDhcp ? "DHCP" : "fixed")
            << "  \"" << r.name << "\"  " << r.description << "\n";
}

}  // namespace zelmar::netctl
