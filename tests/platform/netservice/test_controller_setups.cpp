// The setups alone: held writes, the network check and the verdicts, through a
// link that hands each request to a simulated controller in this process and
// loses or repeats datagrams on the way as a test says.
#include <gtest/gtest.h>

#include "platform/netservice/crypto/crypto_keys.h"
#include "platform/netservice/setup/controller_setups.h"
#include "tests/common/sim_site.h"
#include "tests/platform/netservice/controller_in_process.h"

using namespace zelmar;
namespace wire = net::wire;
using net::SetupOutcome;

namespace {

sim::SimControllerState fixedController() {
    sim::SimControllerState s = zelmar::testing::siteController(10, 0x21, "127.79.0", 4);
    s.name = "Boiler";
    s.ipAddress = s.configIpAddress = "10.20.1.5";
    s.subnetMask = s.configSubnetMask = "255.255.0.0";
    s.gateway = s.configGateway = "10.20.0.1";
    s.attachedNetwork = "10.20.0.0/16";
    s.capabilities = wire::CapEncryption;
    return s;
}

// The request path of the service as the setups see it: every request is sent
// again with its id until an answer comes, at most four times.
class LinkToController final : public net::SetupLink {
public:
    explicit LinkToController(sim::SimControllerState state) : controller(std::move(state)) {
        wire::readControllerInfo(controller.searchReply(1), info);
    }

    zelmar::testing::ControllerInProcess controller;
    wire::ControllerInfo info;      // what the controller last reported
    std::string notSent;
    std::string refusal;            // what mustNotSend answers
    int requestsLost = 0;           // the next requests never arrive
    int answersLost = 0;            // the next answers are lost after the controller took the request
    bool silentAfterwards = false;  // the lookup after an unanswered setup hears nothing
    std::vector<wire::Message> arrived;  // every request that reached the controller
    std::vector<bool> enrolments;
    std::string serviceKey;         // what the service password makes for this controller

    wire::ControllerInfo& reported(std::int32_t) override { return info; }

    std::optional<wire::Message> exchange(std::int32_t, wire::Message request, wire::MsgType replyType) override {
        request.requestId = ++nextId_;
        request.addEthernet(wire::TagTargetEthernet, info.ethernet);
        const auto bytes = wire::encode(request);
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (requestsLost > 0 && requestsLost--)
                continue;
            arrived.push_back(request);
            for (const auto& answer : controller.deliver(bytes)) {
                if (answersLost > 0 && answersLost--)
                    continue;
                wire::Message reply;
                if (wire::decode(answer.data(), answer.size(), reply) == wire::DecodeError::None &&
                    reply.type == replyType && reply.requestId == request.requestId)
                    return reply;
            }
        }
        return std::nullopt;
    }
    std::string& whyNotSent(std::int32_t) override { return notSent; }
    std::string mustNotSend(std::int32_t, wire::MsgType) override { return refusal; }
    void enrol(std::int32_t, bool on) override { enrolments.push_back(on); }
    std::string keyFromPassword(std::int32_t, const std::string& password) override {
        const auto key = net::crypto::controllerKeyFromPassword(password, info.ethernet);
        return std::string(reinterpret_cast<const char*>(key.data()), key.size());
    }
    bool serviceKeyIs(std::int32_t, const std::string& key) override { return key == serviceKey; }
    bool lookUpAgain(std::int32_t) override {
        wire::ControllerInfo now;
        if (silentAfterwards || !wire::readControllerInfo(controller.searchReply(++nextId_), now))
            return false;
        info = now;
        return true;
    }

private:
    std::uint32_t nextId_ = 100;
};

struct ControllerSetupsTest : ::testing::Test {
    LinkToController link{fixedController()};
    net::ControllerSetups setups{link};
    const sim::SimControllerState& controller() const { return link.controller.state(); }
};

}  // namespace

TEST_F(ControllerSetupsTest, ASetupSentAgainAfterItsAnswerWasLostIsAppliedOnceAndConfirmed) {
    setups.held(0).name = "Pump hall";
    link.answersLost = 1;
    setups.apply(0);
    EXPECT_EQ(link.arrived.size(), 2u);  // the first answer lost, the request repeated with its id
    EXPECT_EQ(controller().setupsApplied, 1);
    EXPECT_EQ(controller().setupRetransmits, 1);
    const net::SetupState& s = setups.state(0);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.outcome, SetupOutcome::Confirmed);
    EXPECT_EQ(link.info.name, "Pump hall");  // the controller's answer is what the entry shows
    EXPECT_TRUE(setups.held(0).empty());     // the held writes went with the setup
}

TEST_F(ControllerSetupsTest, WithEveryAnswerLostOnlyALookupThatSeesTheSettingsConfirmsThem) {
    setups.held(0).name = "Pump hall";
    setups.held(0).configIpAddress = "10.20.7.7";
    link.answersLost = 4;
    setups.apply(0);
    EXPECT_EQ(controller().setupsApplied, 1);  // taken once, however often it arrived
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::Confirmed);
    EXPECT_TRUE(setups.state(0).ok);
    EXPECT_EQ(link.info.name, "Pump hall");

    // Taken, but the controller is not heard afterwards: nobody can say, so nothing is claimed.
    setups.held(0).name = "Pump hall 2";
    link.answersLost = 4;
    link.silentAfterwards = true;
    setups.apply(0);
    EXPECT_EQ(controller().name, "Pump hall 2");
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::NoAnswer);
    EXPECT_FALSE(setups.state(0).ok);
}

TEST_F(ControllerSetupsTest, ASetupThatNeverArrivedIsUnknownNeverRefused) {
    setups.held(0).name = "Pump hall";
    link.requestsLost = 4;
    setups.apply(0);
    EXPECT_EQ(controller().setupsReceived, 0);
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::NoAnswer);  // the lookup shows the old name
    EXPECT_FALSE(setups.state(0).ok);
    EXPECT_EQ(link.info.name, "Boiler");
}

TEST_F(ControllerSetupsTest, ARefusalNamesItsFieldAndTheNextSetupHasAVerdictOfItsOwn) {
    setups.held(0).name = "Pump hall";
    setups.held(0).configIpAddress = "10.20.0.0";  // the network's own address
    setups.apply(0);
    const net::SetupState refused = setups.state(0);
    EXPECT_EQ(refused.outcome, SetupOutcome::Refused);
    EXPECT_EQ(refused.status, wire::Status::Invalid);
    EXPECT_EQ(refused.badField, wire::TagConfigIpAddress);
    EXPECT_EQ(controller().name, "Boiler");  // all or nothing

    setups.held(0).name = "Pump hall";
    setups.apply(0);
    const net::SetupState& next = setups.state(0);
    EXPECT_EQ(next.outcome, SetupOutcome::Confirmed);
    EXPECT_EQ(next.status, wire::Status::Ok);
    EXPECT_EQ(next.badField, 0);
}

TEST_F(ControllerSetupsTest, WhatNoControllerMayTakeOrReceiveNeverLeaves) {
    setups.held(0).name = std::string(65, 'x');
    setups.apply(0);
    EXPECT_TRUE(link.arrived.empty());
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::Refused);
    EXPECT_EQ(setups.state(0).badField, wire::TagName);
    EXPECT_NE(link.notSent.find("Name"), std::string::npos) << link.notSent;

    link.refusal = "it requires encryption and no network password was given";
    setups.held(0).name = "Pump hall";
    setups.apply(0);
    EXPECT_TRUE(link.arrived.empty());
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::Refused);
    EXPECT_EQ(link.notSent, link.refusal);

    // Nothing held: nothing sent, nothing refused.
    setups.apply(0);
    EXPECT_TRUE(link.arrived.empty());
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::Confirmed);
}

TEST_F(ControllerSetupsTest, AnEncryptionPasswordGoesAsTheControllersKeyInAKeyAgreement) {
    setups.held(0).requireEncryption = true;
    setups.held(0).encryptionPassword = "Plant-7";
    setups.apply(0);
    ASSERT_EQ(link.arrived.size(), 1u);  // refused: this link does not seal, and a key never goes in clear
    const wire::Message& sent = link.arrived.front();
    EXPECT_FALSE(sent.has(wire::TagEncryptionPassword));
    ASSERT_TRUE(sent.has(wire::TagEncryptionKey));
    EXPECT_EQ(*sent.find(wire::TagEncryptionKey), link.keyFromPassword(0, "Plant-7"));
    EXPECT_EQ(link.enrolments, (std::vector<bool>{true, false}));  // sealed by agreement for this setup only
    EXPECT_EQ(setups.state(0).outcome, SetupOutcome::Refused);
}

TEST_F(ControllerSetupsTest, TheNetworkCheckJudgesTheHeldSettingsAndChangesNothing) {
    std::int32_t detail = -1;
    setups.held(0).configIpAddress = "10.30.0.9";
    ASSERT_TRUE(setups.checkNetwork(0, detail));
    EXPECT_EQ(detail & wire::CheckAddressOutsideNetwork, wire::CheckAddressOutsideNetwork);
    EXPECT_FALSE(setups.state(0).fitsNetwork);

    setups.held(0).configIpAddress = "10.20.9.9";
    ASSERT_TRUE(setups.checkNetwork(0, detail));
    EXPECT_EQ(detail, 0);
    EXPECT_TRUE(setups.state(0).fitsNetwork);
    EXPECT_EQ(controller().setupsApplied, 0);
    EXPECT_EQ(setups.held(0).configIpAddress, "10.20.9.9");  // still held for the setup

    link.requestsLost = 4;  // no answer: no verdict either way
    EXPECT_FALSE(setups.checkNetwork(0, detail));
    EXPECT_TRUE(setups.state(0).fitsNetwork);
}
