#include "platform/netservice/setup/controller_setups.h"

#include <sodium.h>

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::net {

using wire::Message;
using wire::MsgType;

namespace {

bool capable(const wire::ControllerInfo& info) { return (info.capabilities & wire::CapEncryption) != 0; }

void wipe(std::optional<std::string>& secret) {
    if (secret)
        sodium_memzero(secret->data(), secret->size());
    secret.reset();
}

bool sameText(const std::optional<std::string>& asked, const std::string& reported) {
    return !asked || *asked == reported;
}

// An address written as text (empty: none) against the address the controller reports.
bool sameAddress(const std::optional<std::string>& asked, std::uint32_t reported) {
    if (!asked)
        return true;
    if (asked->empty())
        return reported == 0;
    const auto a = ipv4::parse(*asked);
    return a && *a == reported;
}

}  // namespace

ControllerSetups::ControllerSetups(SetupLink& link) : link_(link) {}

SetupState& ControllerSetups::slot(std::int32_t index) {
    if (states_.size() <= std::size_t(index))
        states_.resize(std::size_t(index) + 1);
    return states_[std::size_t(index)];
}

const SetupState& ControllerSetups::state(std::int32_t index) const {
    static const SetupState untouched;
    return std::size_t(index) < states_.size() ? states_[std::size_t(index)] : untouched;
}

bool ControllerSetups::switchesOn(std::int32_t index, const wire::SetupFields& fields) {
    const wire::ControllerInfo& info = link_.reported(index);
    return !info.requireEncryption && capable(info) && fields.requireEncryption.value_or(false);
}

bool ControllerSetups::checkNetwork(std::int32_t index, std::int32_t& detail) {
    const wire::SetupFields& held = slot(index).held;
    wire::SetupFields ip;
    ip.useDhcp = held.useDhcp;
    ip.configIpAddress = held.configIpAddress;
    ip.configSubnetMask = held.configSubnetMask;
    ip.configGateway = held.configGateway;
    ip.configDnsServer = held.configDnsServer;
    std::string problem;
    if (const std::uint16_t bad = wire::unsendableSetupField(ip, problem)) {
        link_.whyNotSent(index) = wire::itemName(bad) + " " + problem;
        return false;
    }
    // Settings that switch encryption on travel sealed, their check too.
    link_.enrol(index, switchesOn(index, held));
    Message request;
    request.type = MsgType::CheckNetwork;
    wire::putSetupFields(request, ip);
    const auto reply = link_.exchange(index, std::move(request), MsgType::CheckReply);
    link_.enrol(index, false);
    const auto result = reply ? reply->u32(wire::TagCheckResult) : std::nullopt;
    if (!result)
        return false;
    slot(index).fitsNetwork = *result == 0;
    detail = std::int32_t(*result);
    return true;
}

void ControllerSetups::apply(std::int32_t index) {
    SetupState& s = slot(index);
    wire::SetupFields fields = std::move(s.held);
    s.held = wire::SetupFields{};
    s.ok = false;
    s.status = wire::Status::Ok;
    s.badField = 0;
    link_.whyNotSent(index).clear();
    if (fields.empty()) {
        s.ok = true;  // nothing held: nothing to send, nothing refused
        s.outcome = SetupOutcome::Confirmed;
        return;
    }
    if (refusedBeforeSending(index, fields))
        return;
    prepareEncryption(index, fields);
    Message request;
    request.type = MsgType::Setup;
    wire::putSetupFields(request, fields);
    if (const auto reply = link_.exchange(index, std::move(request), MsgType::SetupReply))
        takeReply(index, *reply);
    else
        settleUnanswered(index, fields);
    finish(index, fields);
}

bool ControllerSetups::refusedBeforeSending(std::int32_t index, const wire::SetupFields& fields) {
    // A value the controller must drop, or settings that would travel in clear to a
    // controller that requires encryption, never leave.
    SetupState& s = slot(index);
    std::string& notSent = link_.whyNotSent(index);
    std::string problem;
    if (const std::uint16_t bad = wire::unsendableSetupField(fields, problem)) {
        notSent = wire::itemName(bad) + " " + problem;
        s.outcome = SetupOutcome::Refused;
        s.status = wire::Status::Invalid;
        s.badField = bad;
        return true;
    }
    if (notSent = link_.mustNotSend(index, MsgType::Setup); !notSent.empty()) {
        s.outcome = SetupOutcome::Refused;
        s.status = wire::Status::Refused;
        return true;
    }
    return false;
}

void ControllerSetups::prepareEncryption(std::int32_t index, wire::SetupFields& fields) {
    const wire::ControllerInfo& info = link_.reported(index);
    const bool requireAfter = fields.requireEncryption.value_or(info.requireEncryption);
    // The password itself never leaves: a non-empty one becomes this controller's key. An
    // empty one, or one for a controller that will not require encryption, changes nothing.
    if (fields.encryptionPassword && !fields.encryptionPassword->empty() && requireAfter && capable(info))
        fields.encryptionKey = link_.keyFromPassword(index, *fields.encryptionPassword);
    wipe(fields.encryptionPassword);
    link_.enrol(index, requireAfter);
}

void ControllerSetups::takeReply(std::int32_t index, const Message& reply) {
    SetupState& s = slot(index);
    const auto status = reply.u8(wire::TagStatus);
    s.ok = status && *status == std::uint8_t(wire::Status::Ok);
    s.outcome = s.ok ? SetupOutcome::Confirmed : SetupOutcome::Refused;
    if (!s.ok) {
        s.status = status ? wire::Status(*status) : wire::Status::Invalid;
        s.badField = reply.u16(wire::TagBadField).value_or(0);
        return;
    }
    wire::ControllerInfo info;
    wire::ControllerInfo& reported = link_.reported(index);
    if (wire::readControllerInfo(reply, info) && info.ethernet == reported.ethernet)
        reported = std::move(info);
}

void ControllerSetups::settleUnanswered(std::int32_t index, const wire::SetupFields& asked) {
    if (!link_.whyNotSent(index).empty()) {
        SetupState& s = slot(index);
        s.outcome = SetupOutcome::Refused;  // it never left (too large for one datagram)
        s.status = wire::Status::Invalid;
        return;
    }
    // Applied with its answer lost, or never arrived: only the controller can tell. It may
    // answer from a new address after an IP change, so it is looked up by serial number.
    const bool inPlace = link_.lookUpAgain(index) && settingsInPlace(index, asked);
    SetupState& s = slot(index);
    s.outcome = inPlace ? SetupOutcome::Confirmed : SetupOutcome::NoAnswer;
    s.ok = inPlace;
}

bool ControllerSetups::settingsInPlace(std::int32_t index, const wire::SetupFields& asked) {
    const wire::ControllerInfo& now = link_.reported(index);
    if (now.requireEncryption && !now.passwordOk)
        return false;  // only its identity could be read
    if (!sameText(asked.name, now.name) || !sameText(asked.description, now.description) ||
        !sameText(asked.dnsName, now.dnsName) || !sameText(asked.mainComputerAddress, now.mainComputerAddress))
        return false;
    if ((asked.useDhcp && *asked.useDhcp != now.useDhcp) ||
        (asked.requireEncryption && *asked.requireEncryption != now.requireEncryption))
        return false;
    // With fixed settings the controller runs with the configured ones; a DHCP lease says nothing about them.
    if (!now.useDhcp &&
        (!sameAddress(asked.configIpAddress, now.ipAddress) || !sameAddress(asked.configSubnetMask, now.subnetMask) ||
         !sameAddress(asked.configGateway, now.gateway) || !sameAddress(asked.configDnsServer, now.dnsServer)))
        return false;
    // A new key is in place when the password that opened the sealed read just made makes it
    // (another of the service passwords making it would say nothing of the controller).
    return !asked.encryptionKey || link_.openedWithKey(index, *asked.encryptionKey);
}

void ControllerSetups::finish(std::int32_t index, wire::SetupFields& fields) {
    link_.enrol(index, false);
    if (slot(index).ok) {
        wire::ControllerInfo& info = link_.reported(index);
        if (!info.requireEncryption)
            info.passwordOk = true;
        else if (fields.encryptionKey)
            // A new key: the service passwords give access only if one of them is that password.
            info.passwordOk = link_.serviceKeyIs(index, *fields.encryptionKey);
    }
    wipe(fields.encryptionKey);
}

}  // namespace zelmar::net
