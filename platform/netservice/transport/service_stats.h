#pragma once
// What the service counts, for tests and the benchmark.
#include <cstdint>
#include <string>

namespace zelmar::net {

struct ServiceStats {
    std::uint64_t datagramsSent = 0;
    std::uint64_t datagramsReceived = 0;
    std::uint64_t datagramsDropped = 0;  // unparsable, unexpected or refused
    std::uint64_t searchRounds = 0;
    double lastSearchMs = 0;     // how long the last Search took
    double lastNewAnswerMs = 0;  // when, after its start, the last new controller answered (0: none)
    // Port OS upgrade transfers (upgrade_transfer.cpp).
    std::uint64_t upgradeBlocksSent = 0;    // data blocks sent, retransmissions included
    std::uint64_t upgradeBlocksResent = 0;  // of those, retransmissions
    std::uint64_t upgradeAcks = 0;          // acknowledgements taken
    double lastUpgradeMs = 0;               // how long the last transfer took, start to commit reply
    std::string lastUpgradeProblem;         // why the last transfer failed (empty: it succeeded)
};

}  // namespace zelmar::net
