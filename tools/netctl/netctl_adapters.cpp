#include "tools/netctl/netctl_adapters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <ostream>
#include <string>

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::netctl {

namespace {
using net::ipv4::format;

// One line of the search target list: where to, how, and why.
struct TargetLine {
    std::string target;
    std::string kind;  // "directed broadcast", "limited broadcast", "configured"
    std::string via;   // the adapter's name, empty for a configured target
};

std::vector<TargetLine> targetLines(const AdapterReport& r) {
    std::vector<TargetLine> lines;
    for (const std::string& t : r.config.searchTargets) {
        if (t != net::kAdaptersTarget) {
            lines.push_back({t, "configured", {}});
            continue;
        }
        for (const net::Adapter& a : r.adapters) {
            if (!net::searchesThrough(a))
                continue;
            for (std::uint32_t b : net::directedBroadcasts(a))
                lines.push_back({format(b), "directed broadcast", a.name});
            lines.push_back({format(net::kLimitedBroadcast), "limited broadcast", a.name});
        }
    }
    return lines;
}

bool leavesLoopback(const TargetLine& line) {
    const auto a = net::ipv4::parse(line.target.substr(0, line.target.find_first_of("-/")));
    return !a || !net::ipv4::isLoopback(*a);
}

std::string flagsText(const net::Adapter& a) {
    std::string t = a.up ? "up" : "down";
    if (a.running)
        t += ", running";
    if (a.canBroadcast)
        t += ", broadcast";
    if (a.loopback)
        t += ", loopback";
    return t;
}

void printJson(const AdapterReport& r, const std::vector<TargetLine>& lines, std::ostream& out) {
    QJsonObject root;
    root["configuration"] = QJsonObject{{"source", net::describe(r.source.kind)},
                                        {"path", QString::fromStdString(r.source.path)}};
    root["port"] = int(r.config.port);
    root["bindAddress"] = QString::fromStdString(r.config.bindAddress);
    root["allowNonLoopback"] = r.config.allowNonLoopback;
    QJsonArray adapters;
    for (const net::Adapter& a : r.adapters) {
        QJsonArray addresses;
        for (const net::AdapterAddress& addr : a.ipv4)
            addresses.append(QJsonObject{{"address", QString::fromStdString(format(addr.address))},
                                         {"mask", QString::fromStdString(format(addr.mask))},
                                         {"broadcast", QString::fromStdString(format(addr.broadcast))}});
        const std::string why = net::whyNotSearched(a);
        adapters.append(QJsonObject{{"name", QString::fromStdString(a.name)},
                                    {"displayName", QString::fromStdString(a.displayName)},
                                    {"index", int(a.index)},
                                    {"up", a.up},
                                    {"running", a.running},
                                    {"canBroadcast", a.canBroadcast},
                                    {"loopback", a.loopback},
                                    {"ipv4", addresses},
                                    {"searched", why.empty()},
                                    {"notSearchedBecause", QString::fromStdString(why)}});
    }
    root["adapters"] = adapters;
    QJsonArray targets;
    for (const TargetLine& l : lines) {
        const bool blocked = !r.config.allowNonLoopback && leavesLoopback(l);
        targets.append(QJsonObject{{"target", QString::fromStdString(l.target)},
                                   {"kind", QString::fromStdString(l.kind)},
                                   {"via", QString::fromStdString(l.via)},
                                   {"blockedByLoopbackGuard", blocked}});
    }
    root["searchTargets"] = targets;
    out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

void printText(const AdapterReport& r, const std::vector<TargetLine>& lines, std::ostream& out) {
    out << "Configuration: " << (r.source.path.empty() ? "built-in defaults" : r.source.path) << " ("
        << net::describe(r.source.kind) << ")\n"
        << "Controllers' UDP port " << r.config.port << ", sending from " << r.config.bindAddress << "\n\n"
        << "Adapters:\n";
    for (const net::Adapter& a : r.adapters) {
        out << "  " << a.name;
        if (a.displayName != a.name)
            out << " (" << a.displayName << ")";
        out << ": " << flagsText(a) << "\n";
        for (const net::AdapterAddress& addr : a.ipv4) {
            out << "    " << format(addr.address) << " mask " << format(addr.mask);
            if (addr.broadcast)
                out << " broadcast " << format(addr.broadcast);
            out << "\n";
        }
        if (a.ipv4.empty())
            out << "    no IPv4 address\n";
        const std::string why = net::whyNotSearched(a);
        out << "    " << (why.empty() ? "searched" : "not searched: " + why) << "\n";
    }
    out << "\nSearch targets:\n";
    if (lines.empty())
        out << "  none: a search finds nothing (no search targets in the configuration, or no adapter to search"
               " through)\n";
    bool anyBlocked = false;
    for (const TargetLine& l : lines) {
        const bool blocked = !r.config.allowNonLoopback && leavesLoopback(l);
        anyBlocked = anyBlocked || blocked;
        out << "  " << l.target << "  " << l.kind;
        if (!l.via.empty())
            out << " through " << l.via;
        if (blocked)
            out << "  (not sent: loopback guard)";
        out << "\n";
    }
    if (anyBlocked)
        out << "\nallowNonLoopback is off in this configuration: nothing is sent outside 127.0.0.0/8.\n";
}
}  // namespace

AdapterReport adapterReport(const net::ConfigSource& source, const net::ServiceConfig& config) {
    return {source, config, net::listAdapters()};
}

void printAdapterReport(const AdapterReport& report, bool json, std::ostream& out) {
    const auto lines = targetLines(report);
    if (json)
        printJson(report, lines, out);
    else
        printText(report, lines, out);
}

}  // namespace zelmar::netctl
