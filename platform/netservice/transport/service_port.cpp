#include "platform/netservice/transport/service_port.h"

#include <random>

#include "platform/netservice/service_error.h"
#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

ServicePort::ServicePort(const ServiceConfig& config)
    : config_(config), requestId_(std::random_device{}()), buffer_(wire::kMaxDatagram + 1) {}

void ServicePort::open() {
    if (socket_)
        return;
    const auto bindAddress = ipv4::parse(config_.bindAddress);
    if (!bindAddress)
        throw ServiceError("bindAddress \"" + config_.bindAddress + "\" is not an IPv4 address");
    if (!config_.allowNonLoopback && !ipv4::isLoopback(*bindAddress))
        throw ServiceError("bindAddress must be in 127.0.0.0/8 unless allowNonLoopback is set");
    std::string error;
    socket_ = platform::UdpSocket::bind(*bindAddress, 0, &error);
    if (!socket_)
        throw ServiceError("cannot open the service socket: " + error);
    socket_->setReceiveBuffer(config_.receiveBufferBytes);
    socket_->setSendBuffer(1 << 20);
    socket_->setBroadcast(true);  // directed and limited broadcasts of the "adapters" target
    socket_->stampArrivals();
}

std::uint32_t ServicePort::newRequestId() {
    if (++requestId_ == 0)
        ++requestId_;
    return requestId_;
}

bool ServicePort::sendAllowed(std::uint32_t address) const {
    return config_.allowNonLoopback || ipv4::isLoopback(address);
}

bool ServicePort::send(const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || !sendAllowed(to.address)) {  // an empty datagram is never sent
        ++stats_.datagramsDropped;
        return false;
    }
    ++stats_.datagramsSent;
    return socket_->sendTo(to, bytes.data(), bytes.size());
}

bool ServicePort::sendLimitedBroadcast(unsigned interfaceIndex, const std::vector<std::uint8_t>& bytes) {
    if (!sendAllowed(ipv4::kLimitedBroadcast)) {
        ++stats_.datagramsDropped;
        return false;
    }
    ++stats_.datagramsSent;
    return socket_->sendThrough(interfaceIndex, {ipv4::kLimitedBroadcast, config_.port}, bytes.data(), bytes.size());
}

bool ServicePort::receiveOne(wire::Message& msg, Endpoint& from, bool& usable) {
    const long n = socket_->receiveFrom(buffer_.data(), buffer_.size(), from, &lastArrival_);
    if (n < 0)
        return false;
    ++stats_.datagramsReceived;
    const auto size = std::size_t(n);
    usable = size <= wire::kMaxDatagram &&
             (decoder_ ? decoder_(buffer_.data(), size, msg)
                       : wire::decode(buffer_.data(), size, msg) == wire::DecodeError::None) &&
             wire::isReply(msg.type);
    if (!usable)
        ++stats_.datagramsDropped;
    return true;
}

std::optional<std::uint32_t> ServicePort::resolve(const std::string& address) const {
    if (const auto a = ipv4::parse(address))
        return a;
    if (!ipv4::isDnsName(address))  // the only names worth handing to the resolver
        return std::nullopt;
    return platform::resolveName(address, !config_.allowNonLoopback);
}

}  // namespace zelmar::net
