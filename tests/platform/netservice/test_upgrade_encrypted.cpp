// The port OS upgrade of a controller that requires encryption: with the
// right password every upgrade datagram travels sealed and the image never
// crosses the network in clear; without it nothing is taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/netservice/service_core.h"
#include "tests/platform/netservice/test_encryption_helpers.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;
namespace wire = zelmar::net::wire;
using zelmar::testing::Recorder;
using zelmar::testing::searchWith;
using zelmar::testing::secureController;
using zelmar::testing::upgradeFile;

namespace {

const std::string kSerial = "40-00001";
const std::string kPassword = "Pump room 7!";

net::ServiceConfig quick(const sim::SimFleet& fleet) {
    auto c = zelmar::testing::quickConfig(fleet);
    c.upgradeStallTimeoutMs = 500;
    return c;
}

sim::SimControllerState secure() {
    auto s = secureController(1, kPassword);
    s.restartMs = 150;
    return s;
}

bool contains(const std::vector<std::uint8_t>& hay, const std::vector<std::uint8_t>& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

}  // namespace

TEST(UpgradeEncrypted, WithThePasswordEveryUpgradeDatagramIsSealedAndTheImageNeverTravelsInClear) {
    Recorder rec;  // outlives the fleet, whose thread writes into it until it stops
    auto fleet = zelmar::testing::startFleet({secure()});
    rec.attach(fleet);
    net::NetService service(quick(fleet));
    auto entry = searchWith(service, kPassword, kSerial);
    ASSERT_TRUE(entry);
    ASSERT_TRUE(entry->PasswordOk());

    const net::UpgradeFile file = upgradeFile(3, "3.2.0", 100000, 21);
    ASSERT_TRUE(entry->UpgradePortOs(file)) << service.core().stats().lastUpgradeProblem;
    EXPECT_EQ(fleet.controller(kSerial)->portOsRevision, "3.2.0");

    // After the restart the controller is found again, with the password, and reports the new revision.
    entry = nullptr;
    service.Clear();
    service.setSearchSerialNo(kSerial);
    service.AddSerialNoSearch();
    service.Search();
    entry = zelmar::testing::find(service, kSerial);
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->AnsweredLastSearch());
    EXPECT_EQ(entry->PortOsRevision(), "3.2.0");

    // Every upgrade request and reply was sealed; no 16 bytes of the image appear anywhere.
    int upgradeDatagrams = 0;
    const auto& image = file.Image();
    const std::vector<std::uint8_t> pieces[] = {
        {image.begin(), image.begin() + 16},
        {image.begin() + 50000, image.begin() + 50016},
        {image.end() - 16, image.end()},
    };
    for (const auto& d : rec.all()) {
        ASSERT_GE(d.bytes.size(), wire::kHeaderSize);
        const std::uint8_t type = d.bytes[5] & 0x7F;
        if (type >= 0x10 && type <= 0x13) {
            ++upgradeDatagrams;
            EXPECT_TRUE(d.bytes[7] & wire::FlagSealed) << "type " << int(d.bytes[5]) << " went in clear";
        }
        for (const auto& piece : pieces)
            EXPECT_FALSE(contains(d.bytes, piece)) << "part of the image in clear, type " << int(d.bytes[5]);
    }
    EXPECT_GT(upgradeDatagrams, int(file.Image().size() / 1280));
}

TEST(UpgradeEncrypted, WithoutTheRightPasswordNothingIsTaken) {
    for (const std::string& password : {std::string(), std::string("not the password")}) {
        auto fleet = zelmar::testing::startFleet({secure()});
        net::NetService service(quick(fleet));
        auto entry = searchWith(service, password, kSerial);
        ASSERT_TRUE(entry);
        EXPECT_FALSE(entry->PasswordOk());
        EXPECT_FALSE(entry->UpgradePortOs(upgradeFile(3, "6.6", 50000)));
        EXPECT_FALSE(service.core().stats().lastUpgradeProblem.empty());
        const auto s = fleet.controller(kSerial);
        EXPECT_EQ(s->portOsRevision, "3.1.0");
        EXPECT_EQ(s->upgradeStarts, 0);
        EXPECT_EQ(s->upgradeBlocks, 0);
    }
}

TEST(UpgradeEncrypted, UnderLossTheSealedTransferCompletes) {
    auto fleet = zelmar::testing::startFleet({secure()});
    net::NetService service(quick(fleet));
    auto entry = searchWith(service, kPassword, kSerial);
    ASSERT_TRUE(entry);
    fleet.setLossPercent(10);
    ASSERT_TRUE(entry->UpgradePortOs(upgradeFile(3, "3.3.0", 300000)))
        << service.core().stats().lastUpgradeProblem;
    EXPECT_EQ(fleet.controller(kSerial)->portOsRevision, "3.3.0");
    EXPECT_GT(service.core().stats().upgradeBlocksResent, 0u);
}

TEST(UpgradeEncrypted, ASessionTheControllerForgotMidTransferIsRenewed) {
    auto fleet = zelmar::testing::startFleet({secure()});
    auto config = quick(fleet);
    config.upgradeStallTimeoutMs = 8000;  // the acknowledgements are held back for a while below
    net::NetService service(config);
    auto entry = searchWith(service, kPassword, kSerial);
    ASSERT_TRUE(entry);

    // Mid-transfer the acknowledgements go missing, so our blocks thin out to one probe a second;
    // in such a pause nine other clients open sessions, and the controller, which keeps eight,
    // forgets ours.
    std::atomic<bool> othersDone{false};
    std::thread others([&] {
        for (int i = 0; i < 5000 && fleet.controller(kSerial)->upgradeBlocks < 64; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fleet.setLoseReplies(wire::MsgType::UpgradeAck, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // probes now a second apart
        const int blocks = fleet.controller(kSerial)->upgradeBlocks;
        for (int i = 0; i < 3000 && fleet.controller(kSerial)->upgradeBlocks == blocks; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // right after a probe
        for (int i = 0; i < 9; ++i) {
            net::NetService other(quick(fleet));
            auto e = searchWith(other, kPassword, kSerial);
            EXPECT_TRUE(e && e->PasswordOk());  // read sealed: a session of its own
        }
        fleet.setLoseReplies(wire::MsgType::UpgradeAck, false);
        othersDone = true;
    });
    const bool ok = entry->UpgradePortOs(upgradeFile(3, "3.4.0", 4 << 20));
    const bool othersWereDone = othersDone;
    others.join();
    ASSERT_TRUE(othersWereDone) << "the transfer ended before the other clients were done";
    EXPECT_TRUE(ok) << service.core().stats().lastUpgradeProblem;
    EXPECT_EQ(fleet.controller(kSerial)->portOsRevision, "3.4.0");
    bool forgotten = false;
    for (const auto& line : fleet.log())
        forgotten = forgotten || line.find("unknown session") != std::string::npos;
    EXPECT_TRUE(forgotten) << "our session was never forgotten: the test did not test";
}
