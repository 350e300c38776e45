#pragma once
// Where and how the service searches. Read from the JSON file that
// config_lookup.h finds; documented in docs/netservice.md.
#include <string>
#include <vector>

namespace zelmar::net {

struct ServiceConfig {
    unsigned short port = 41950;          // the controllers' well-known UDP port
    std::vector<std::string> searchTargets;  // full-search targets; "adapters": the workstation's adapters
    std::string bindAddress = "127.0.0.1";   // local address the service sends from
    // A broadcast or network search waits this long for a first answer before it decides that
    // nobody answers; once answers come, its end follows the round trips it measures.
    int firstAnswerWaitMs = 1000;
    int maxSearchRounds = 8;              // the most often such a search asks an address that does not answer
    int maxSearchMs = 5000;               // bounded maximum of any search
    int retransmitMs = 50;                // longest gap between search rounds; first interval of lookups and transactions

    int lookupTimeoutMs = 2000;           // a lookup of one serial number or address, and a transaction, give up after this
    int answerSpreadMs = 100;             // controllers spread their answers to a broadcast over this time
    int receiveBufferBytes = 4 << 20;     // SO_RCVBUF of the service socket (large sites)
    // Port OS upgrade: a transfer gives up when no block has been acknowledged for
    // upgradeStallTimeoutMs, and in any case after upgradeMaxMs; the lookup after an
    // upgrade waits at most upgradeRestartWaitMs for the controller's restart.
    int upgradeStallTimeoutMs = 3000;
    int upgradeMaxMs = 600000;
    int upgradeRestartWaitMs = 30000;
    // Safety guard of this project: nothing is sent outside 127.0.0.0/8 and
    // only "localhost" names are resolved unless this is set.
    bool allowNonLoopback = false;

    // Fault injection for tests: entry property reads throw ServiceError once
    // this many have succeeded (-1: never).
    int failEntryReadsAfter = -1;

    static ServiceConfig fromEnvironment();          // the file findServiceConfig() finds, else defaults
    static ServiceConfig fromFile(const std::string& path);  // throws std::runtime_error on a bad file
    static ServiceConfig fromJson(const std::string& json);  // throws std::runtime_error on bad JSON
    std::string toJson() const;
};

}  // namespace zelmar::net
