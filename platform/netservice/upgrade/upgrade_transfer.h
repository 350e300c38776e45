#pragma once
// Sends a TCP/IP Port OS image to one controller (docs/protocol.md, 5.11):
// an UpgradeStart announcing length, hash, port type and revision; the image
// in numbered blocks with a sliding window, selective acknowledgements and
// retransmission of what was lost; an UpgradeCommit after which the
// controller checks the whole image, switches and restarts. Which block goes
// when is the window's (upgrade_window.h), when to probe and give up the
// timer's (upgrade_timer.h); this is the driver between them and the service.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/netservice/upgrade/upgrade_progress.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "platform/netservice/upgrade/upgrade_link.h"
#include "platform/netservice/upgrade/upgrade_verdict.h"

namespace zelmar::net {

class UpgradeTimer;
class UpgradeWindow;

struct UpgradeTransferOptions {
    std::size_t blockSize = 1280;  // payload bytes a block; leaves room in 1472 for the headers and a sealed envelope
    std::size_t window = 64;       // blocks unacknowledged at most (the controller may ask for fewer)
    UpgradeProgress progress;      // told the share acknowledged while the blocks travel; may be empty
};

struct UpgradeOutcome {
    bool ok = false;
    UpgradeVerdict verdict = UpgradeVerdict::NotCompleted;  // Switched exactly when ok
    std::string problem;    // why it failed; empty on success
    int restartMs = 0;      // how long the controller said it would be silent after the switch
    std::uint64_t blocks = 0;        // blocks of the image
    std::uint64_t blocksSent = 0;    // retransmissions included
    double ms = 0;                   // start to commit reply
};

class UpgradeTransfer {
public:
    UpgradeTransfer(UpgradeLink& link, std::int32_t index, UpgradeTransferOptions options = {});

    // Sends a valid upgrade file. False (problem set) when the file is not
    // valid, the controller refuses the image or the transfer cannot complete
    // within the bounds of the service configuration (upgradeStallTimeoutMs
    // without progress, upgradeMaxMs in all).
    UpgradeOutcome run(const UpgradeFile& file);
    // The same with every announced value given, so that tests can announce
    // what a file never would (another port type, a wrong hash).
    UpgradeOutcome run(std::int16_t portOsType, const std::string& revision, const std::vector<std::uint8_t>& image,
                       const ImageHash& hash);

private:
    using Clock = std::chrono::steady_clock;

    // Each step returns why the transfer failed (empty: it goes on).
    std::string announce(std::int16_t portOsType, const std::string& revision, std::size_t imageSize,
                         const ImageHash& hash);
    std::string sendBlocks(const std::vector<std::uint8_t>& image);
    std::string commit();
    // After a commit that was not confirmed: what the controller runs once it answers again.
    UpgradeVerdict switchedAnyway(const std::string& revision, const std::string& previousRevision);

    void sendBlock(const std::vector<std::uint8_t>& image, UpgradeWindow& window, std::uint32_t block, bool askAck,
                   bool again);
    void drain(UpgradeWindow& window, UpgradeTimer& timer);
    // Why the transfer gives up now, by its clocks (empty: it goes on).
    std::string giveUpReason(const UpgradeTimer& timer) const;
    // Every block the window lets go now, with a look at the answers between bursts.
    void sendWindow(const std::vector<std::uint8_t>& image, UpgradeWindow& window, UpgradeTimer& timer);
    bool takeAck(const wire::Message& msg, UpgradeWindow& window, UpgradeTimer& timer);
    bool takeStale(const wire::Message& msg, UpgradeWindow& window, UpgradeTimer& timer);
    void reportProgress(const UpgradeWindow& window);
    void abandon();
    UpgradeOutcome finish(UpgradeVerdict verdict, std::string problem);

    UpgradeLink& link_;
    std::int32_t index_;
    UpgradeTransferOptions options_;

    // The transfer under way.
    UpgradeOutcome out_;
    Clock::time_point started_;
    std::uint32_t transferId_ = 0;
    wire::Ethernet target_{};
    std::size_t blockSize_ = 0;
    std::size_t windowBlocks_ = 0;
    int resendMs_ = -1;  // the retransmission time the blocks measured, for the commit
    int firstResendMs_ = 50;  // the blocks' first retransmission time, from the start's round trip
    bool refused_ = false;  // the controller said no (rather than going silent)
    int reportedPercent_ = -1;
    Clock::time_point reportedAt_;
};

}  // namespace zelmar::net
