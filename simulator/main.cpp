// zelmar-controller-sim: plays a fleet of controllers on loopback addresses
// until SIGINT or SIGTERM. Prints one line when ready:
//   ready port=41950 controllers=20 client-config=/tmp/client.json
// Options: zelmar-controller-sim --help; docs/simulator.md.
#include <QCoreApplication>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "platform/netservice/system/durable_file.h"
#include "platform/netservice/system/udp_platform.h"
#include "simulator/fleet_host.h"
#include "simulator/sim_command_line.h"
#include "simulator/sim_controller.h"
#include "simulator/sim_fleet.h"
#include "platform/cli/cli_support.h"

namespace {
std::atomic<bool> g_stop = false;

// Faults and the restart time given here belong to this run: they are not
// written into the state file.
void applyRunOptions(zelmar::sim::SimFleet& fleet, const zelmar::sim::SimRunOptions& o) {
    if (o.loss)
        fleet.setLossPercent(*o.loss);
    if (o.duplicate)
        fleet.setDuplicatePercent(*o.duplicate);
    if (o.reorder)
        fleet.setReorderPercent(*o.reorder);
    if (o.delay)
        fleet.setDelayMs(o.delay->first, o.delay->second);
    for (const auto& s : o.offline) {
        if (!fleet.controller(s))
            throw zelmar::cli::UsageError("--offline " + s + ": no controller of the fleet has this serial number");
        fleet.setOffline(s, true);
    }
    if (o.restartMs)
        fleet.setRestartMs(*o.restartMs);
    if (!o.logFile.empty())
        fleet.setLogFile(o.logFile);
}

bool exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

zelmar::sim::SimFleet loadFleet(const zelmar::sim::SimRunOptions& o) {
    using zelmar::sim::SimFleet;
    if (!o.stateFile.empty() && exists(o.stateFile))
        return SimFleet::fromFile(o.stateFile);  // what the controllers were left with
    if (!o.fleetFile.empty())
        return SimFleet::fromFile(o.fleetFile);
    return SimFleet::generate(o.generate, o.generateOptions);
}

int usageFailure(const zelmar::cli::UsageError& e) {
    std::cerr << "zelmar-controller-sim: " << e.what() << "\nTry 'zelmar-controller-sim --help'.\n";
    return zelmar::cli::kUsageError;
}

// Settings persist in the state file; a fleet that starts without one writes it at once.
void useStateFile(zelmar::sim::SimFleet& fleet, const std::string& path) {
    fleet.setStateFile(path);
    if (exists(path))
        return;
    std::string error;
    if (!zelmar::net::replaceFileDurably(path, fleet.toJson(), &error))
        throw std::runtime_error("cannot write the state file: " + error);
}

// Plays the fleet until SIGINT or SIGTERM; the ready line tells a caller where.
void play(zelmar::sim::SimFleet& fleet, const zelmar::sim::SimRunOptions& o) {
    zelmar::net::platform::onStopRequest([] { g_stop = true; });
    fleet.start(o.port);
    if (!o.clientConfig.empty())
        fleet.writeClientConfig(o.clientConfig);
    std::cout << "ready port=" << fleet.port() << " controllers=" << fleet.size()
              << " client-config=" << (o.clientConfig.empty() ? "-" : o.clientConfig) << std::endl;
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fleet.stop();
}

// Serves the fleets of test programs built for another system until SIGINT or SIGTERM.
int hostFleets(std::uint16_t port) {
    zelmar::sim::FleetHost host(port);
    zelmar::net::platform::onStopRequest([] { g_stop = true; });
    std::cout << "ready fleet-host=127.0.0.1:" << host.port() << std::endl;
    host.run(g_stop);
    return 0;
}

int run(const zelmar::sim::SimRunOptions& o) {
    if (o.hostFleets)
        return hostFleets(*o.hostFleets);
    zelmar::sim::SimController::allowAnyAddress(o.anyAddress);
    zelmar::sim::SimFleet fleet = loadFleet(o);
    if (!o.writeFleet.empty()) {
        std::string error;
        if (!zelmar::net::replaceFileDurably(o.writeFleet, fleet.toJson(), &error))
            throw std::runtime_error("cannot write " + o.writeFleet + ": " + error);
        return 0;
    }
    applyRunOptions(fleet, o);
    if (!o.stateFile.empty())
        useStateFile(fleet, o.stateFile);
    play(fleet, o);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        const zelmar::sim::SimRunOptions o =
            zelmar::sim::parseSimCommandLine(QCoreApplication::arguments(), std::cout);
        return o.done ? 0 : run(o);
    } catch (const zelmar::cli::UsageError& e) {
        return usageFailure(e);
    } catch (const std::exception& e) {
        std::cerr << "zelmar-controller-sim: " << e.what() << "\n";
        return 1;
    }
}
