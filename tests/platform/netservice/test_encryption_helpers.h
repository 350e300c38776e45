#pragma once
// Fleets with controllers that require encryption, a raw UDP client that
// speaks to them as an outsider would (to replay and to tamper), and a
// recorder of every datagram a fleet sees.
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/netservice/controller_entry.h"
#include "platform/netservice/crypto/crypto_envelope.h"
#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/wire.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"

namespace zelmar::testing {

namespace wire = net::wire;

// Controller n: serial 40-0000n, Ethernet 00-1A-4C-66-00-0n, listening at 127.81.0.n.
inline sim::SimControllerState secureController(int n, const std::string& password, std::uint32_t capabilities = 8) {
    sim::SimControllerState s = siteController(40, 0x66, "127.81.0", n);
    s.name = "Secure " + std::to_string(n);
    s.description = "Plant room " + std::to_string(n);
    s.dnsName = "secure-" + std::to_string(n) + ".plant.test";
    s.mainComputerAddress = "10.50.0.5";
    s.ipAddress = s.configIpAddress = "10.50.1." + std::to_string(10 + n);
    s.subnetMask = s.configSubnetMask = "255.255.0.0";
    s.gateway = s.configGateway = "10.50.0.1";
    s.dnsServer = s.configDnsServer = "10.50.0.2";
    s.attachedNetwork = "10.50.0.0/16";
    s.capabilities = capabilities;
    s.modelCode = 120;
    s.portOsType = 3;
    s.portOsRevision = "3.1.0";
    s.requireEncryption = !password.empty();
    s.encryptionPassword = password;
    return s;
}

inline wire::Ethernet macOf(const sim::SimControllerState& s) { return *wire::parseEthernet(s.ethernetAddress); }

inline std::shared_ptr<net::ControllerEntry> find(net::NetService& service, const std::string& serial) {
    for (int i = 0; i < service.ControllerCount(); ++i) {
        auto e = service.Item(std::int16_t(i));
        if (e->SerialNo() == serial)
            return e;
    }
    return nullptr;
}

// A search with this password; the entry of `serial` (null: not found).
inline std::shared_ptr<net::ControllerEntry> searchWith(net::NetService& service, const std::string& password,
                                                        const std::string& serial) {
    service.setPassword(password);
    service.Clear();
    service.Search();
    return find(service, serial);
}

// Encryption switched on with `password` beside whatever else the entry holds:
// the network check, then the setup; true when both went through.
inline bool switchEncryptionOn(net::ControllerEntry& e, const std::string& password) {
    e.setRequireEncryption(true);
    e.setEncryptionPassword(password);
    std::int32_t detail = 0;
    if (!e.CheckNetwork(detail))
        return false;
    e.setApply(true);
    return e.SetupOk();
}

// Every datagram the fleet's controllers received or sent.
class Recorder {
public:
    struct Datagram {
        bool incoming;
        std::string controller;
        net::platform::Endpoint peer;
        std::vector<std::uint8_t> bytes;
    };
    void attach(sim::SimFleet& fleet) {
        // The fleet's thread keeps the storage alive: the recorder may go before the fleet stops.
        fleet.setDatagramTap([store = store_](bool in, const std::string& c, const net::platform::Endpoint& p,
                                              const std::vector<std::uint8_t>& b) {
            std::lock_guard lock(store->m);
            store->all.push_back({in, c, p, b});
        });
    }
    std::vector<Datagram> all() const {
        std::lock_guard lock(store_->m);
        return store_->all;
    }
    void clear() {
        std::lock_guard lock(store_->m);
        store_->all.clear();
    }
    // Incoming datagrams of a type (by the clear header), sealed or not.
    std::vector<Datagram> requests(wire::MsgType type) const {
        std::vector<Datagram> out;
        for (const Datagram& d : all())
            if (d.incoming && d.bytes.size() >= wire::kHeaderSize && d.bytes[5] == std::uint8_t(type))
                out.push_back(d);
        return out;
    }

private:
    struct Store {
        std::mutex m;
        std::vector<Datagram> all;
    };
    std::shared_ptr<Store> store_ = std::make_shared<Store>();
};

// A fleet of these controllers with every datagram it sees recorded, and a
// service that talks to it.
struct RecordedFleet {
    explicit RecordedFleet(std::vector<sim::SimControllerState> controllers)
        : fleet(startFleet(std::move(controllers))) {
        rec.attach(fleet);
    }
    sim::SimFleet fleet;
    Recorder rec;
    net::NetService service{fleet.clientConfig()};
};

// A UDP client of our own on loopback: what an outsider on the network can do.
class RawClient {
public:
    RawClient() : socket_(*net::platform::UdpSocket::bind(0x7F000001u, 0)) {}

    void send(const std::string& controllerAddress, std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
        socket_.sendTo({*net::ipv4::parse(controllerAddress), port}, bytes.data(), bytes.size());
    }
    // The next datagram within timeoutMs.
    std::optional<std::vector<std::uint8_t>> receive(int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<std::uint8_t> buf(wire::kMaxDatagram + 1);
        while (std::chrono::steady_clock::now() < end) {
            socket_.waitReadable(10);
            net::platform::Endpoint from;
            const long n = socket_.receiveFrom(buf.data(), buf.size(), from);
            if (n >= 0) {
                buf.resize(std::size_t(n));
                return buf;
            }
        }
        return std::nullopt;
    }
    // A fresh challenge from the controller's clear search reply.
    std::optional<net::crypto::Challenge> challenge(const std::string& address, std::uint16_t port) {
        wire::Message search;
        search.type = wire::MsgType::Search;
        search.requestId = 0x5000 + ++ids_;
        send(address, port, wire::encode(search));
        const auto reply = receive(1000);
        wire::Message m;
        if (!reply || wire::decode(reply->data(), reply->size(), m) != wire::DecodeError::None)
            return std::nullopt;
        const std::string* c = m.find(wire::TagChallenge);
        if (!c || c->size() != net::crypto::kChallengeBytes)
            return std::nullopt;
        net::crypto::Challenge out;
        std::memcpy(out.data(), c->data(), out.size());
        return out;
    }

private:
    net::platform::UdpSocket socket_;
    std::uint32_t ids_ = 0;
};

// A request sealed with `key` in a session opened by `challenge`.
inline std::vector<std::uint8_t> sealedRequest(wire::Message m, const wire::Ethernet& target,
                                               const net::crypto::Challenge& session, std::uint32_t sequence,
                                               const net::crypto::Key& key) {
    m.addEthernet(wire::TagTargetEthernet, target);
    m.add(wire::TagChallenge, std::string(reinterpret_cast<const char*>(session.data()), session.size()));
    m.addU32(wire::TagSequence, sequence);
    return net::crypto::seal(wire::encode(m), net::crypto::EnvelopeKind::ControllerKey, target, key);
}

// Waits until `done` holds or the time is up (the fleet runs on its own thread).
template <typename F>
bool eventually(F done, int timeoutMs = 1000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace zelmar::testing
