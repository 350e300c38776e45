#pragma once
// One simulated controller driven directly, as a part of the service sees it
// through its link: a datagram handed over, its answers handed back. The
// controller is the simulator's own (simulator/sim_controller.h); only the
// sockets are left out, so that a part is tested alone and at once.
#include <cstdint>
#include <random>
#include <vector>

#include "platform/netservice/wire/messages.h"
#include "simulator/sim_controller.h"

namespace zelmar::testing {

struct ControllerInProcess {
    explicit ControllerInProcess(sim::SimControllerState state) : controller(std::move(state)) {}

    // What the controller sends back for `bytes` from `from`, in order (delays ignored).
    std::vector<std::vector<std::uint8_t>> deliver(const std::vector<std::uint8_t>& bytes,
                                                   const net::platform::Endpoint& from) {
        std::vector<std::vector<std::uint8_t>> out;
        for (sim::Outgoing& o : controller.handle(bytes.data(), bytes.size(), from, rng).out)
            out.push_back(std::move(o.bytes));
        return out;
    }
    std::vector<std::vector<std::uint8_t>> deliver(const std::vector<std::uint8_t>& bytes) {
        return deliver(bytes, client);
    }

    // Its answer to a clear search under `requestId`, decoded (a controller that requires
    // encryption tells only its identity and a challenge).
    net::wire::Message searchReply(std::uint32_t requestId) {
        net::wire::Message search;
        search.type = net::wire::MsgType::Search;
        search.requestId = requestId;
        net::wire::Message reply;
        const auto out = deliver(net::wire::encode(search));
        if (!out.empty())
            net::wire::decode(out.front().data(), out.front().size(), reply);
        return reply;
    }

    const sim::SimControllerState& state() const { return controller.state; }

    sim::SimController controller;
    std::mt19937 rng{3};
    net::platform::Endpoint client{0x7F000001u, 40000};  // where the requests come from
};

}  // namespace zelmar::testing
