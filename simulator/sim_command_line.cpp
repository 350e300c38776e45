#include "simulator/sim_command_line.h"

#include <QCommandLineParser>
#include <ostream>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_host.h"
#include "platform/cli/cli_support.h"

namespace zelmar::sim {

namespace {
using cli::UsageError;

constexpr int kMaxControllers = 60000;  // as generateFleet
constexpr int kMaxDelayMs = 10000;      // as a fleet file's faults

const char* kHelp =
    "usage: zelmar-controller-sim (--fleet FILE | --generate N | --state FILE) [options]\n"
    "       zelmar-controller-sim --host-fleets PORT\n"
    "\n"
    "Plays a fleet of controllers on loopback addresses until SIGINT or SIGTERM.\n"
    "\n"
    "  --fleet FILE          controllers from a fleet file (docs/simulator.md)\n"
    "  --generate N          N generated controllers (0 to 60000)\n"
    "  --connected K         with --generate: the first K are directly connected (default 1)\n"
    "  --first-address A     with --generate: first loopback address (default 127.77.0.1;\n"
    "                        with --any-address any IPv4 address)\n"
    "  --seed S              with --generate: variation seed (default 1)\n"
    "  --state FILE          persist settings here; loaded instead of the fleet when it exists\n"
    "  --port P              UDP port, 0 to 65535 (default 41950; 0 takes a free one)\n"
    "  --client-config FILE  write the client configuration for the service\n"
    "  --log FILE            append one line per datagram received\n"
    "  --write-fleet FILE    write the fleet file and exit\n"
    "  --any-address         controllers may listen on any address of this machine (0.0.0.0: all);\n"
    "                        only for network namespaces made by a test, never on a real network\n"
    "  --host-fleets PORT    serve fleets to test programs built for another system over TCP at\n"
    "                        127.0.0.1:PORT (0: a free port) instead of playing one\n"
    "Fault injection for this run (never written into the state file):\n"
    "  --loss PCT            lose each datagram in and out with this chance (0 to 100)\n"
    "  --duplicate PCT       send each answer twice with this chance (0 to 100)\n"
    "  --reorder PCT         hold each datagram in and out back 1 to 10 ms with this chance, so that\n"
    "                        later ones overtake it (0 to 100)\n"
    "  --delay MIN[-MAX]     delay every answer by MIN to MAX ms (0 to 10000)\n"
    "  --offline SERIAL      this controller answers nothing (may be repeated)\n"
    "  --restart-ms MS       silence after a port OS upgrade, 0 to 600000 (default: the fleet file's, else 1000)\n"
    "  -h, --help            this help\n"
    "  --version             the version\n"
    "Exit codes: 0 stopped by a signal (or done), 1 the fleet or state file is refused or the\n"
    "controllers cannot start, 2 usage error.\n";

std::pair<int, int> delayRange(const QString& text) {
    const QStringList parts = text.split('-');
    if (parts.size() > 2)
        throw UsageError("--delay must be MIN or MIN-MAX in milliseconds, not \"" + text.toStdString() + "\"");
    const int min = int(cli::integer("delay", parts[0], 0, kMaxDelayMs));
    const int max = parts.size() == 2 ? int(cli::integer("delay", parts[1], 0, kMaxDelayMs)) : min;
    if (max < min)
        throw UsageError("--delay: MAX " + std::to_string(max) + " is below MIN " + std::to_string(min));
    return {min, max};
}

const QStringList kValued = {"fleet", "generate", "connected", "first-address", "seed", "state", "port",
                             "client-config", "log", "write-fleet", "loss", "duplicate", "reorder", "delay",
                             "offline", "restart-ms", "host-fleets"};

// Every option that takes a value got one, once; no stray arguments.
void checkValuesGiven(const QCommandLineParser& p) {
    for (const QString& name : kValued) {
        if (name != "offline")
            cli::single(p, name);  // given twice is a mistake, not "the last one wins"
        for (const QString& v : p.values(name))
            if (v.startsWith("--"))
                throw UsageError("--" + name.toStdString() + " needs a value, not the option " + v.toStdString());
    }
    if (!p.positionalArguments().isEmpty())
        throw UsageError("unexpected argument \"" + p.positionalArguments().first().toStdString() + "\"");
}

// Where the controllers come from: a fleet file, a state file, or generated with its options.
void readFleetSource(const QCommandLineParser& p, SimRunOptions& o) {
    if (p.isSet("generate"))
        o.generate = int(cli::integer("generate", p.value("generate"), 0, kMaxControllers));
    if (p.isSet("fleet") && p.isSet("generate"))
        throw UsageError("give --fleet FILE or --generate N, not both");
    if (p.isSet("host-fleets")) {
        if (p.isSet("fleet") || p.isSet("generate") || p.isSet("state"))
            throw UsageError("--host-fleets serves the fleets its clients make: no --fleet, --generate or --state");
        o.hostFleets = std::uint16_t(cli::integer("host-fleets", p.value("host-fleets"), 0, 65535));
        return;
    }
    if (!p.isSet("fleet") && !p.isSet("generate") && !p.isSet("state"))
        throw UsageError("give --fleet FILE, --generate N or an existing --state FILE");
    for (const char* genOnly : {"connected", "first-address", "seed"})
        if (p.isSet(genOnly) && !p.isSet("generate"))
            throw UsageError(std::string("--") + genOnly + " is for --generate");
    if (p.isSet("connected"))
        o.generateOptions.connected = int(cli::integer("connected", p.value("connected"), 0, o.generate));
    o.generateOptions.anyAddress = o.anyAddress;
    if (p.isSet("first-address")) {
        o.generateOptions.firstAddress = p.value("first-address").toStdString();
        const auto a = net::ipv4::parse(o.generateOptions.firstAddress);
        if (!a)
            throw UsageError("--first-address must be an IPv4 address, not \"" + o.generateOptions.firstAddress + "\"");
        if (!o.anyAddress && !net::ipv4::isLoopback(*a))
            throw UsageError("--first-address must be in 127.0.0.0/8 (any IPv4 address only with --any-address), not \"" +
                             o.generateOptions.firstAddress + "\"");
    }
    if (p.isSet("seed"))
        o.generateOptions.seed = unsigned(cli::integer("seed", p.value("seed"), 0, 4294967295LL));
}

// The port and the faults of this run.
void readRunOptions(const QCommandLineParser& p, SimRunOptions& o) {
    if (p.isSet("port"))
        o.port = std::uint16_t(cli::integer("port", p.value("port"), 0, 65535));
    if (p.isSet("loss"))
        o.loss = cli::decimal("loss", p.value("loss"), 0, 100);
    if (p.isSet("duplicate"))
        o.duplicate = cli::decimal("duplicate", p.value("duplicate"), 0, 100);
    if (p.isSet("reorder"))
        o.reorder = cli::decimal("reorder", p.value("reorder"), 0, 100);
    if (p.isSet("delay"))
        o.delay = delayRange(p.value("delay"));
    for (const QString& s : p.values("offline")) {
        if (s.trimmed().isEmpty())
            throw UsageError("--offline needs a serial number");
        o.offline.push_back(s.toStdString());
    }
    if (p.isSet("restart-ms"))
        o.restartMs = int(cli::integer("restart-ms", p.value("restart-ms"), 0, 600000));
}
}  // namespace

SimRunOptions parseSimCommandLine(const QStringList& arguments, std::ostream& out) {
    QCommandLineParser p;
    for (const QString& name : kValued)
        p.addOption(QCommandLineOption(name, name, "value"));
    p.addOption(QCommandLineOption({"h", "help"}, "help"));
    p.addOption(QCommandLineOption("version", "version"));
    p.addOption(QCommandLineOption("any-address", "any-address"));
    cli::parseOrThrow(p, arguments);

    SimRunOptions o;
    if (p.isSet("help") || p.isSet("version")) {
        out << (p.isSet("help") ? std::string(kHelp) : cli::versionLine("zelmar-controller-sim") + "\n");
        o.done = true;
        return o;
    }
    checkValuesGiven(p);
    // A test program under Wine names its files with Wine's drives.
    const auto path = [&p](const char* option) { return hostPath(p.value(option).toStdString()); };
    o.fleetFile = path("fleet");
    o.stateFile = path("state");
    o.clientConfig = path("client-config");
    o.logFile = path("log");
    o.writeFleet = path("write-fleet");
    o.anyAddress = p.isSet("any-address");
    readFleetSource(p, o);
    readRunOptions(p, o);
    return o;
}

}  // namespace zelmar::sim
