#pragma once
// The port OS upgrade receiver of one simulated controller (docs/protocol.md,
// 5.11): takes an announced image block by block, acknowledges what arrived,
// and on commit checks the whole image — length, hash, its own port type —
// before it switches to the new revision. Anything short of a good commit
// leaves the old port OS running. No sockets, no clock: the fleet engine
// turns a switch into the restart (silent for restartMs).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "simulator/sim_state.h"

namespace zelmar::sim {

class SimUpgrade {
public:
    static constexpr std::size_t kMaxWindow = 64;  // blocks it buffers ahead of the first missing one

    struct Result {
        std::vector<std::uint8_t> reply;  // empty: nothing to send
        bool switched = false;            // the new port OS runs: persist, then restart
        std::string log;                  // one line for the log (empty for data blocks)
        std::string dropped;              // why the datagram was not taken
    };

    // `m` is an upgrade request (types 0x10-0x13) meant for this controller.
    // A switch is stored through `store` before it is answered Ok.
    Result handle(const net::wire::Message& m, const net::platform::Endpoint& from, SimControllerState& state,
                  const net::wire::Ethernet& mac, const StoreState& store = {});

    bool busy() const { return session_.has_value(); }

private:
    struct Session {
        net::platform::Endpoint client;
        std::uint32_t transferId = 0;
        std::uint32_t length = 0;
        net::ImageHash hash{};
        std::int16_t portOsType = 0;
        std::string revision;
        std::uint32_t blockSize = 0;
        std::uint32_t window = 0;
        std::uint32_t blocks = 0;
        std::uint32_t next = 0;              // first block not yet received
        std::vector<bool> received;
        std::vector<std::uint8_t> image;     // grows with the blocks, never past `length`
        std::uint32_t sinceAck = 0;          // blocks taken since the last acknowledgement
        std::uint32_t gapReportedAt = 0xFFFFFFFFu;  // `next` when a gap was last reported
    };
    // The answer to the last commit, so that a commit asked again (its reply
    // lost, the controller restarted meanwhile) gets the same verdict.
    struct Verdict {
        net::platform::Endpoint client;
        std::uint32_t transferId = 0;
        net::wire::Status status = net::wire::Status::Ok;
        std::uint16_t badField = 0;
    };

    // Why a start or commit is refused: the field at fault and a line for the log.
    struct Refusal {
        std::uint16_t field = 0;
        std::string why;
    };

    static std::vector<std::uint8_t> startReply(const net::wire::Message& m, const SimControllerState& state,
                                                const net::wire::Ethernet& mac, std::uint32_t transferId,
                                                net::wire::Status status, std::uint16_t badField, const Session* s);
    // The announced image and the block shape of a start, read into `s`.
    static std::optional<Refusal> readImage(const net::wire::Message& m, const SimControllerState& state,
                                            Session& s);
    static std::optional<Refusal> readBlocks(const net::wire::Message& m, Session& s);
    static std::string describe(const Session& s);
    // Block `b` (of the right length) into the image when it is new and within
    // the window; true when it calls for an acknowledgement at once.
    static bool takeBlock(Session& s, std::uint32_t b, const std::string& data);
    // What keeps a fully sent image from being switched to.
    static std::optional<Refusal> checkImage(const Session& s, const SimControllerState& state);
    Result commitSession(const net::wire::Message& m, const net::platform::Endpoint& from, SimControllerState& state,
                         const net::wire::Ethernet& mac, const StoreState& store);

    Result onStart(const net::wire::Message& m, const net::platform::Endpoint& from, SimControllerState& state,
                   const net::wire::Ethernet& mac);
    Result onData(const net::wire::Message& m, const net::platform::Endpoint& from, SimControllerState& state,
                  const net::wire::Ethernet& mac);
    Result onCommit(const net::wire::Message& m, const net::platform::Endpoint& from, SimControllerState& state,
                    const net::wire::Ethernet& mac, const StoreState& store);
    Result onAbort(const net::wire::Message& m, const net::platform::Endpoint& from);
    std::vector<std::uint8_t> ack(std::uint32_t requestId, const SimControllerState& state,
                                  const net::wire::Ethernet& mac) const;

    std::optional<Session> session_;
    std::optional<Verdict> lastCommit_;
};

}  // namespace zelmar::sim
