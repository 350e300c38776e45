#pragma once
// What one simulated controller is and what happened to it. The fleet file
// holds the first group of fields; the counters are only kept while running.
#include <cstdint>
#include <functional>
#include <string>

namespace zelmar::sim {

struct SimControllerState {
    // Identity and where it listens (its own loopback address).
    std::string serialNo;
    std::string ethernetAddress;  // "00-1A-4C-00-00-01"
    std::string address;          // in 127.0.0.0/8

    std::string name;
    std::string description;
    std::string dnsName;
    std::string mainComputerAddress;
    bool useDhcp = false;
    // Present settings (what it runs with; from DHCP when useDhcp).
    std::string ipAddress = "0.0.0.0";
    std::string subnetMask = "0.0.0.0";
    std::string gateway = "0.0.0.0";
    std::string dnsServer = "0.0.0.0";
    // Configured fixed settings (used when useDhcp is off).
    std::string configIpAddress = "0.0.0.0";
    std::string configSubnetMask = "0.0.0.0";
    std::string configGateway = "0.0.0.0";
    std::string configDnsServer = "0.0.0.0";
    bool requireEncryption = false;
    // The key derived from its encryption password (64 hex digits), never the password.
    std::string encryptionKey;
    // Input only (fleet file, tests): made into encryptionKey when the controller is created, then emptied.
    std::string encryptionPassword;
    std::uint32_t capabilities = 0;
    std::int16_t modelCode = 0;
    std::int16_t portOsType = 0;
    std::string portOsRevision;

    bool connected = false;        // cabled straight to the workstation
    // Its search replies tell the round they answer and how long it waited (false: an older
    // controller, whose replies do not).
    bool answerTiming = true;
    std::string attachedNetwork;   // the network it is plugged into, "10.20.0.0/16"
    bool offline = false;          // answers nothing
    bool marked = false;
    int restartMs = 1000;          // silent this long after switching to a new port OS
    // The transfer of the last port OS switch and the client that sent it (persisted with the
    // revision), so that its commit asked again after a restart gets its Ok again.
    std::uint32_t lastUpgradeTransferId = 0;  // 0: none
    std::string lastUpgradeClient;            // "127.0.0.1:40000"

    // Counters (not persisted).
    int searchesAnswered = 0;   // search replies sent
    int setupsReceived = 0;     // distinct setup transactions
    int setupsApplied = 0;
    int setupsRejected = 0;
    int setupRetransmits = 0;   // repeated setup requests answered from the cache
    int checksReceived = 0;
    int markCount = 0;
    int unmarkCount = 0;
    int upgradeStarts = 0;      // port OS transfers accepted at their start
    int upgradeBlocks = 0;      // upgrade data blocks received (repeats included)
    int upgradesApplied = 0;    // images checked and switched to
    int upgradesRefused = 0;    // starts or commits refused (wrong port type, bad hash, incomplete)
    int sealedRequests = 0;     // sealed requests opened and taken
    int wrongKeys = 0;          // sealed requests that did not open
    int replaysRefused = 0;     // sealed requests refused as replays
    int rateLimited = 0;        // sealed requests not tried: too many wrong keys from that address
};

// Stores a controller's next state durably; false when it could not (then the
// controller keeps its old state and says so). Empty: nothing is stored, all is well.
using StoreState = std::function<bool(const SimControllerState& next)>;

}  // namespace zelmar::sim
