#include "tools/netctl/netctl_support.h"

#include <QJsonDocument>
#include <ostream>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/wire/wire.h"
#include "site/csv.h"

namespace zelmar::netctl {

using namespace site;

std::string serialProblem(const std::string& serial) {
    if (serial.empty())
        return "the serial number is empty";
    const std::string problem = net::wire::textProblem(net::wire::TagSerialFilter, serial);
    return problem.empty() ? problem : "the serial number " + problem;
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
    return site::english(site::identityOnlyReason(recordOf(e), !o.password.empty()));
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
