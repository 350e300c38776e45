// zelmar-controller-sim: plays a fleet of controllers on loopback addresses
// until SIGINT or SIGTERM. Prints one line when ready:
//   ready port=41950 controllers=20 client-config=/tmp/client.json
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/netservice/udp_platform.h"
#include "simulator/sim_fleet.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
extern "C" void onSignal(int) { g_stop = 1; }

void usage() {
    std::cerr <<
        "usage: zelmar-controller-sim (--fleet FILE | --generate N) [options]\n"
        "  --fleet FILE          controllers from a fleet file (docs/simulator.md)\n"
        "  --generate N          N generated controllers\n"
        "  --connected K         with --generate: the first K are directly connected (default 1)\n"
        "  --first-address A     with --generate: first loopback address (default 127.77.0.1)\n"
        "  --seed S              with --generate: variation seed (default 1)\n"
        "  --state FILE          persist settings here; loaded instead of the fleet when it exists\n"
        "  --port P              UDP port (default 41950; 0 takes a free one)\n"
        "  --client-config FILE  write the client configuration for the service\n"
        "  --log FILE            append one line per datagram received\n"
        "  --loss PCT  --duplicate PCT  --delay MIN-MAX  --offline SERIAL   fault injection\n"
        "  --restart-ms MS       silence after a port OS upgrade (default: the fleet file's, else 1000)\n"
        "  --write-fleet FILE    write the fleet file and exit\n";
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string fleetFile, stateFile, clientConfig, logFile, writeFleet;
    int generate = -1;
    zelmar::sim::GenerateOptions gen;
    long port = 41950;
    double loss = -1, duplicate = -1;
    int delayMin = -1, delayMax = -1;
    std::vector<std::string> offline;
    long restartMs = -1;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= args.size())
                    throw std::runtime_error(a + " needs a value");
                return args[++i];
            };
            if (a == "--fleet") fleetFile = value();
            else if (a == "--generate") generate = std::stoi(value());
            else if (a == "--connected") gen.connected = std::stoi(value());
            else if (a == "--first-address") gen.firstAddress = value();
            else if (a == "--seed") gen.seed = unsigned(std::stoul(value()));
            else if (a == "--state") stateFile = value();
            else if (a == "--port") port = std::stol(value());
            else if (a == "--client-config") clientConfig = value();
            else if (a == "--log") logFile = value();
            else if (a == "--loss") loss = std::stod(value());
            else if (a == "--duplicate") duplicate = std::stod(value());
            else if (a == "--delay") {
                const std::string v = value();
                const auto dash = v.find('-');
                delayMin = std::stoi(v.substr(0, dash));
                delayMax = dash == std::string::npos ? delayMin : std::stoi(v.substr(dash + 1));
            } else if (a == "--offline") offline.push_back(value());
            else if (a == "--restart-ms") restartMs = std::stol(value());
            else if (a == "--write-fleet") writeFleet = value();
            else if (a == "--help" || a == "-h") { usage(); return 0; }
            else throw std::runtime_error("unknown option " + a);
        }
        if (port < 0 || port > 65535)
            throw std::runtime_error("--port must be 0 to 65535");
        if (fleetFile.empty() && generate < 0 && (stateFile.empty() || !std::filesystem::exists(stateFile)))
            throw std::runtime_error("give --fleet FILE or --generate N");

        zelmar::sim::SimFleet fleet;
        if (!stateFile.empty() && std::filesystem::exists(stateFile))
            fleet = zelmar::sim::SimFleet::fromFile(stateFile);  // what the controllers were left with
        else if (!fleetFile.empty())
            fleet = zelmar::sim::SimFleet::fromFile(fleetFile);
        else
            fleet = zelmar::sim::SimFleet::generate(generate, gen);
        if (!writeFleet.empty()) {
            std::FILE* f = std::fopen(writeFleet.c_str(), "wb");
            const std::string json = fleet.toJson();
            if (!f || std::fwrite(json.data(), 1, json.size(), f) != json.size())
                throw std::runtime_error("cannot write " + writeFleet);
            std::fclose(f);
            return 0;
        }
        if (loss >= 0) fleet.setLossPercent(loss);
        if (duplicate >= 0) fleet.setDuplicatePercent(duplicate);
        if (delayMin >= 0) fleet.setDelayMs(delayMin, delayMax);
        for (const auto& s : offline) fleet.setOffline(s, true);
        if (restartMs >= 0) fleet.setRestartMs(int(std::min(restartMs, 600000L)));
        if (!logFile.empty()) fleet.setLogFile(logFile);
        if (!stateFile.empty()) {
            fleet.setStateFile(stateFile);
            if (!std::filesystem::exists(stateFile)) {
                std::string error;
                if (!zelmar::net::platform::replaceFileDurably(stateFile, fleet.toJson(), &error))
                    throw std::runtime_error("cannot write the state file: " + error);
            }
        }

        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        fleet.start(static_cast<std::uint16_t>(port));
        if (!clientConfig.empty())
            fleet.writeClientConfig(clientConfig);
        std::cout << "ready port=" << fleet.port() << " controllers=" << fleet.size()
                  << " client-config=" << (clientConfig.empty() ? "-" : clientConfig) << std::endl;
        while (!g_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fleet.stop();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zelmar-controller-sim: " << e.what() << "\n";
        usage();
        return 2;
    }
}
