// libFuzzer target: every datagram a service or a controller can receive.
// Runs the decoder, the typed readers both sides use, and a controller's
// whole handling (search, ack, setup, check, mark) on the input.
#include <cstddef>
#include <cstdint>
#include <random>

#include "platform/netservice/wire/messages.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/sim_controller.h"

namespace {
zelmar::sim::SimController& controller() {
    static zelmar::sim::SimController c([] {
        zelmar::sim::SimControllerState s;
        s.serialNo = "10-00001";
        s.ethernetAddress = "00-1A-4C-00-00-00";
        s.address = "127.77.0.1";
        s.ipAddress = s.configIpAddress = "10.20.1.3";
        s.subnetMask = s.configSubnetMask = "255.255.0.0";
        s.gateway = s.configGateway = "10.20.0.1";
        s.attachedNetwork = "10.20.0.0/16";
        return s;
    }());
    return c;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace wire = zelmar::net::wire;
    wire::Message m;
    if (wire::decode(data, size, m) == wire::DecodeError::None) {
        wire::ControllerInfo info;
        if (wire::readControllerInfo(m, info)) {
            // What the service keeps must encode again within the limits.
            wire::Message again;
            again.type = wire::MsgType::SearchReply;
            wire::putControllerInfo(again, info);
            if (wire::encode(again).empty())
                __builtin_trap();
        }
        wire::SetupFields fields;
        wire::readSetupFields(m, fields);
        if (const std::string* f = m.find(wire::TagSerialFilter))
            wire::serialMatches(*f, "10-00001");
        // Round trip: what decodes, encodes to the same bytes (items in order, unknown ones dropped).
        const auto bytes = wire::encode(m);
        wire::Message back;
        if (wire::decode(bytes.data(), bytes.size(), back) != wire::DecodeError::None)
            __builtin_trap();
    }
    static std::mt19937 rng(1);
    auto result = controller().handle(data, size, {0x7F000001u, 40000}, rng);
    for (const auto& out : result.out) {
        wire::Message reply;
        if (wire::decode(out.bytes.data(), out.bytes.size(), reply) != wire::DecodeError::None ||
            out.bytes.size() > wire::kMaxSendDatagram)
            __builtin_trap();  // a controller only ever sends well-formed datagrams
    }
    return 0;
}
