#pragma once
// The fleet file (docs/simulator.md): the controllers of a simulated site and
// the faults to inject, as JSON. The same format holds the persisted state.
#include <QJsonObject>
#include <string>
#include <vector>

#include "simulator/sim_state.h"

namespace zelmar::sim {

struct FaultSettings {
    double lossPercent = 0;       // each datagram in and out is lost with this chance
    double duplicatePercent = 0;  // each answer is sent twice with this chance
    double reorderPercent = 0;    // each datagram in and out is held back a little with this chance
    int delayMinMs = 0;           // extra delay of every answer
    int delayMaxMs = 0;
};

struct FleetData {
    std::vector<SimControllerState> controllers;
    FaultSettings faults;
};

// Throws std::runtime_error naming the first problem.
FleetData parseFleet(const std::string& json);
std::string fleetToJson(const FleetData& fleet);

// One controller as the fleet file holds it (no counters), and back without
// the checks of a whole fleet. Throws std::runtime_error on a malformed value.
QJsonObject controllerToJson(const SimControllerState& s);
SimControllerState controllerFromJson(const QJsonObject& o);
QJsonObject faultsToJson(const FaultSettings& f);
FaultSettings faultsFromJson(const QJsonObject& o);

struct GenerateOptions {
    int connected = 1;                       // how many controllers are cabled straight to the workstation
    std::string firstAddress = "127.77.0.1"; // loopback addresses are handed out from here (x.y.z.0 and .255 skipped)
    unsigned seed = 1;
    // Addresses of the whole IPv4 space, not only 127.0.0.0/8: for a site of
    // network namespaces a test made (--any-address).
    bool anyAddress = false;
};
FleetData generateFleet(int count, const GenerateOptions& options = {});

}  // namespace zelmar::sim
