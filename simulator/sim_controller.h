#pragma once
// The protocol behaviour of one simulated controller: takes a datagram,
// changes its state and says what to send back. No sockets, no clock, no
// locks: the fleet engine drives it (and the fuzz target calls it directly).
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/system/udp_platform.h"
#include "simulator/recent_requests.h"
#include "simulator/sim_crypto.h"
#include "simulator/sim_state.h"
#include "simulator/sim_upgrade.h"

namespace zelmar::sim {

struct Outgoing {
    net::platform::Endpoint to;
    std::vector<std::uint8_t> bytes;
    int delayMs = 0;  // the random answer spread of a search
};

class SimController {
public:
    explicit SimController(SimControllerState state = {});

    SimControllerState state;

    struct Result {
        std::vector<Outgoing> out;
        bool changed = false;  // the mark changed: persist (setups and switches are stored before their answer)
        std::string log;       // one line for the log
        // Why nothing was done: a decode error, or "not for this controller".
        // Empty when the datagram was taken (answered, acknowledged).
        std::string dropped;
        // 0 or more: the controller switched to a new port OS and restarts now, silent this long.
        int restartMs = -1;
    };
    Result handle(const std::uint8_t* data, std::size_t size, const net::platform::Endpoint& from, std::mt19937& rng);

    // The reply content: identity and present settings.
    net::wire::ControllerInfo info() const;
    // True when the state's texts parse (serial, Ethernet address, addresses).
    static bool validState(const SimControllerState& s, std::string* why);
    // Off by default: every address must be in 127.0.0.0/8. On (the simulator's
    // --any-address, for network namespaces a test made) any IPv4 address the
    // machine has is taken, 0.0.0.0 for all of them.
    static void allowAnyAddress(bool on);

    // Where a setup or a port OS switch is stored before it is answered Ok (the fleet's state file).
    void setStore(StoreState store) { store_ = std::move(store); }

    // Its encryption (tests set the clock the wrong-key limit sees).
    SimCrypto& crypto() { return crypto_; }
    // Test hook: the clock it tells whether an answer is still waiting to go out by.
    void setClock(std::function<std::chrono::steady_clock::time_point()> now) { now_ = std::move(now); }

private:
    // A request in clear, as every command handler takes it.
    struct Request {
        const net::wire::Message& m;
        const net::platform::Endpoint& from;
        std::mt19937& rng;
    };
    using Handler = Result (SimController::*)(const Request&);

    // Steps of handle(): an answer here ends the handling of the request.
    std::optional<Result> refusedInClear(const Request& q);
    std::optional<Result> repeatedTransaction(const Request& q);
    Result dispatch(const Request& q);
    void finish(Result& r, const Request& q, const SimCrypto::Inbound* sealed);

    Result onSearch(const Request& q);
    Result onSearchAck(const Request& q);
    Result onSetup(const Request& q);
    Result onCheck(const Request& q);
    Result onMark(const Request& q);
    Result onUpgrade(const Request& q);
    Result onRead(const Request& q);
    std::vector<std::uint8_t> reply(net::wire::MsgType type, std::uint32_t id, net::wire::Status status,
                                    std::uint16_t badField = 0, bool withInfo = false) const;

    net::wire::Ethernet mac_{};
    RecentSearches searches_;
    RecentTransactions transactions_;
    StoreState store_;    // empty: nothing to store
    SimUpgrade upgrade_;  // the port OS transfer in progress, if any
    SimCrypto crypto_;    // sealed requests and replies, sessions, the wrong-key limit
    std::function<std::chrono::steady_clock::time_point()> now_;
};

}  // namespace zelmar::sim
