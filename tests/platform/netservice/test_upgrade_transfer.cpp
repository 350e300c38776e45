// The port OS transfer over real UDP against simulated controllers.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/upgrade/upgrade_transfer.h"
#include "simulator/sim_fleet.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;
using zelmar::testing::randomImage;
using zelmar::testing::upgradableController;
using zelmar::testing::upgradeFile;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kSerial = "30-00001";

class UpgradeTransferTest : public ::testing::Test {
protected:
    void start(std::vector<sim::SimControllerState> controllers = {upgradableController()},
               const std::string& stateFile = {}) {
        fleet_ = std::make_unique<sim::SimFleet>(zelmar::testing::startFleet(std::move(controllers), stateFile));
        config_ = zelmar::testing::quickConfig(*fleet_);
        config_.upgradeStallTimeoutMs = 500;
        service_ = std::make_unique<net::NetService>(config_);
    }

    // Looks the controller up by serial number; returns its index or -1.
    int lookup(const std::string& serial = kSerial) {
        service_->Clear();
        service_->setSearchSerialNo(serial);
        service_->AddSerialNoSearch();
        service_->Search();
        for (int i = 0; i < service_->ControllerCount(); ++i)
            if (service_->Item(std::int16_t(i))->SerialNo() == serial)
                return i;
        return -1;
    }

    sim::SimControllerState sim(const std::string& serial = kSerial) { return fleet_->controller(serial).value(); }
    net::ServiceCore& core() { return const_cast<net::ServiceCore&>(service_->core()); }

    std::unique_ptr<sim::SimFleet> fleet_;
    net::ServiceConfig config_;
    std::unique_ptr<net::NetService> service_;
};

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

}  // namespace

TEST_F(UpgradeTransferTest, ProgressIsReportedInOrderUpTo100OnTheCallingThread) {
    start();
    ASSERT_EQ(lookup(), 0);
    std::vector<int> seen;
    bool elsewhere = false;
    const auto caller = std::this_thread::get_id();
    // One block in flight at a time: the share grows block by block, however fast the link.
    net::UpgradeTransferOptions options;
    options.blockSize = 256;
    options.window = 1;
    options.progress = [&](int percent) {
        seen.push_back(percent);
        elsewhere |= std::this_thread::get_id() != caller;
    };
    const net::UpgradeOutcome outcome = net::UpgradeTransfer(core(), 0, options).run(upgradeFile(3, "3.2.0", 100 * 256));
    ASSERT_TRUE(outcome.ok) << outcome.problem;
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << ::testing::PrintToString(seen);
    EXPECT_FALSE(elsewhere) << "the transfer stays on the calling thread";
}

TEST_F(UpgradeTransferTest, TheControllerSwitchesRestartsAndAnswersWithTheNewRevision) {
    start();
    const int index = lookup();
    ASSERT_EQ(index, 0);
    const auto entry = service_->Item(0);
    const net::UpgradeFile file = upgradeFile(3, "3.2.0", 300000);
    ASSERT_TRUE(file.IsValid());

    ASSERT_TRUE(entry->UpgradePortOs(file)) << service_->core().stats().lastUpgradeProblem;
    const auto after = sim();
    EXPECT_EQ(after.portOsRevision, "3.2.0");
    EXPECT_EQ(after.upgradeStarts, 1);
    EXPECT_EQ(after.upgradesApplied, 1);
    EXPECT_EQ(after.upgradesRefused, 0);
    EXPECT_GE(after.upgradeBlocks, int((300000 + 1279) / 1280));
    EXPECT_TRUE(service_->core().stats().lastUpgradeProblem.empty());
    // The entry shows what the controller reported before; only a new search shows the switch.
    EXPECT_EQ(entry->PortOsRevision(), "2.11");

    // The lookup waits out the restart (200 ms) and returns soon after the controller answers.
    const auto t0 = Clock::now();
    ASSERT_EQ(lookup(), 0);
    const double waited = msSince(t0);
    EXPECT_EQ(entry->PortOsRevision(), "3.2.0");
    EXPECT_GE(waited, 150.0);
    EXPECT_LT(waited, 200.0 + 600.0 + 400.0);
    // The log tells the story: accepted, switched, restarting.
    std::string log;
    for (const auto& line : fleet_->log())
        log += line + "\n";
    EXPECT_NE(log.find("UpgradeStart transfer="), std::string::npos);
    EXPECT_NE(log.find("switched from 2.11 to 3.2.0"), std::string::npos);
    EXPECT_NE(log.find("restarting with port OS 3.2.0"), std::string::npos);
}

TEST_F(UpgradeTransferTest, ASilentRestartLongerThanTheLookupBoundIsWaitedOut) {
    auto c = upgradableController();
    c.restartMs = 1500;  // longer than lookupTimeoutMs (600)
    start({c});
    ASSERT_EQ(lookup(), 0);
    ASSERT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.3", 20000)));
    // The controller is silent while it restarts; the lookup after the upgrade waits for it.
    const auto t0 = Clock::now();
    EXPECT_EQ(lookup(), 0);
    EXPECT_GE(msSince(t0), 1300.0);
    EXPECT_EQ(service_->Item(0)->PortOsRevision(), "3.3");
    // Once it answered, lookups are as quick as ever.
    const auto t1 = Clock::now();
    EXPECT_EQ(lookup(), 0);
    EXPECT_LT(msSince(t1), 300.0);
}

TEST_F(UpgradeTransferTest, AControllerAddedByAddressIsFoundAfterItsRestart) {
    auto outside = upgradableController(2);
    outside.restartMs = 400;
    start({upgradableController(1), outside});
    config_.searchTargets = {"127.79.0.1"};  // the second controller lies outside the search targets
    service_ = std::make_unique<net::NetService>(config_);
    service_->Clear();
    service_->AddAddress("127.79.0.2");
    service_->Search();
    ASSERT_EQ(service_->ControllerCount(), 1);
    ASSERT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.4", 20000)));
    // Its last address is asked in every round of the lookup, so it is heard once its restart is over.
    ASSERT_EQ(lookup("30-00002"), 0);
    EXPECT_TRUE(service_->Item(0)->AnsweredLastSearch());
    EXPECT_EQ(service_->Item(0)->PortOsRevision(), "3.4");
}

// The commit's Ok is lost as the controller switches; it is killed and started again from its
// state file, and then asked the commit again.
TEST_F(UpgradeTransferTest, ASwitchWhoseOkIsLostInARestartIsReportedAsDone) {
    for (const bool forgetsVerdict : {false, true}) {
        SCOPED_TRACE(forgetsVerdict ? "a controller that forgets its verdict" : "the verdict persisted");
        const QTemporaryDir dir;
        const std::string stateFile = dir.filePath("state.json").toStdString();
        start({upgradableController()}, stateFile);
        ASSERT_EQ(lookup(), 0);
        fleet_->setLoseReplies(net::wire::MsgType::UpgradeCommitReply, true);
        std::thread restarter([&] {
            for (int i = 0; i < 2000 && sim().upgradesApplied == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const std::uint16_t port = fleet_->port();
            fleet_->stop();
            QFile f(QString::fromStdString(stateFile));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
            if (forgetsVerdict) {
                QJsonArray list = root["controllers"].toArray();
                QJsonObject c = list[0].toObject();
                EXPECT_TRUE(c.contains("lastUpgradeTransferId"));
                c.remove("lastUpgradeTransferId");
                c.remove("lastUpgradeClient");
                list[0] = c;
                root["controllers"] = list;
            }
            fleet_ = std::make_unique<sim::SimFleet>(
                sim::SimFleet::fromJson(QJsonDocument(root).toJson().toStdString()));
            fleet_->start(port);
        });
        const bool ok = service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.5", 40000));
        restarter.join();
        EXPECT_TRUE(ok) << service_->core().stats().lastUpgradeProblem;
        EXPECT_EQ(sim().portOsRevision, "3.5");
        // Which way the verdict came: from the restarted controller's memory, or read back.
        bool repeated = false, unknown = false;
        for (const auto& line : fleet_->log()) {
            repeated = repeated || line.find("repeated after a restart") != std::string::npos;
            unknown = unknown || line.find("no such transfer") != std::string::npos;
        }
        EXPECT_EQ(repeated, !forgetsVerdict);
        EXPECT_EQ(unknown, forgetsVerdict);
    }
}

// Every block acknowledged, then the controller restarts before the commit
// reaches it: the commit finds a controller that no longer knows the transfer.
// That is a transfer cut short, not a refused image.
TEST_F(UpgradeTransferTest, ARestartBeforeTheCommitIsToldAsSuchAndTheOldPortOsRuns) {
    start();
    ASSERT_EQ(lookup(), 0);
    fleet_->setLoseRequests(net::wire::MsgType::UpgradeCommit, true);
    std::thread restarter([&] {
        const auto until = Clock::now() + std::chrono::seconds(20);
        auto commitLost = [&] {
            for (const auto& line : fleet_->log())
                if (line.find("dropped: a lost request") != std::string::npos)
                    return true;
            return false;
        };
        while (Clock::now() < until && !commitLost())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::uint16_t port = fleet_->port();
        const std::string state = fleet_->toJson();  // what survives a restart
        fleet_->stop();
        fleet_ = std::make_unique<sim::SimFleet>(sim::SimFleet::fromJson(state));
        fleet_->start(port);
    });
    const bool ok = service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.6", 20000));
    restarter.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::NotCompleted);
    EXPECT_EQ(service_->Item(0)->LastUpgradeProblem(), "the controller restarted during the transfer: it no longer knows it");
    EXPECT_EQ(sim().portOsRevision, "2.11");
    EXPECT_EQ(sim().upgradesApplied, 0);
}

TEST_F(UpgradeTransferTest, ASwitchLeftUnansweredIsUnknownUntilTheControllerIsHeardAgain) {
    start();
    ASSERT_EQ(lookup(), 0);
    fleet_->setLoseReplies(net::wire::MsgType::UpgradeCommitReply, true);
    std::thread silencer([&] {  // it switches, and is not heard again
        for (int i = 0; i < 2000 && sim().upgradesApplied == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        fleet_->setOffline(kSerial, true);
    });
    const bool ok = service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.7", 20000));
    silencer.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::Unknown);
    EXPECT_EQ(sim().portOsRevision, "3.7");  // what the service could not tell

    fleet_->setOffline(kSerial, false);
    EXPECT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.8", 20000)));
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::Switched);
    EXPECT_EQ(service_->Item(0)->LastUpgradeProblem(), "");
}

TEST_F(UpgradeTransferTest, ASwitchTheControllerCannotStoreIsNotMade) {
    const QTemporaryDir dir;
    start({upgradableController()}, dir.filePath("no such folder/state.json").toStdString());
    ASSERT_EQ(lookup(), 0);
    EXPECT_FALSE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.6", 20000)));
    EXPECT_NE(service_->core().stats().lastUpgradeProblem.find("status 6"), std::string::npos)
        << service_->core().stats().lastUpgradeProblem;
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::Refused);
    EXPECT_EQ(service_->Item(0)->LastUpgradeProblem(), service_->core().stats().lastUpgradeProblem);
    EXPECT_EQ(sim().portOsRevision, "2.11");
}

TEST_F(UpgradeTransferTest, AnImageForAnotherPortTypeIsRefusedBeforeAnyBlock) {
    start();
    ASSERT_EQ(lookup(), 0);
    const net::UpgradeFile file = upgradeFile(5, "9.9", 50000);  // valid, but for port type 5
    ASSERT_TRUE(file.IsValid());
    EXPECT_FALSE(service_->Item(0)->UpgradePortOs(file));
    EXPECT_NE(service_->core().stats().lastUpgradeProblem.find("port OS type"), std::string::npos)
        << service_->core().stats().lastUpgradeProblem;
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::Refused);
    const auto s = sim();
    EXPECT_EQ(s.portOsRevision, "2.11");
    EXPECT_EQ(s.upgradeBlocks, 0);
    EXPECT_EQ(s.upgradesRefused, 1);
    EXPECT_EQ(service_->core().stats().upgradeBlocksSent, 0u);
}

TEST_F(UpgradeTransferTest, AnImageThatDoesNotMatchItsHashIsRefusedAtTheCommit) {
    start();
    ASSERT_EQ(lookup(), 0);
    const auto image = randomImage(40000, 1);
    const auto other = randomImage(40000, 2);
    net::UpgradeTransfer transfer(core(), 0);
    const auto out = transfer.run(3, "6.6", image, net::hashImage(other.data(), other.size()));
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.verdict, net::UpgradeVerdict::Refused);
    EXPECT_NE(out.problem.find("image hash"), std::string::npos) << out.problem;
    const auto s = sim();
    EXPECT_EQ(s.portOsRevision, "2.11");
    EXPECT_GE(s.upgradeBlocks, 32);  // every block went over
    EXPECT_EQ(s.upgradesRefused, 1);
    EXPECT_EQ(s.upgradesApplied, 0);
    // No switch, no restart: it answers at once.
    const auto t0 = Clock::now();
    EXPECT_EQ(lookup(), 0);
    EXPECT_LT(msSince(t0), 300.0);
}

TEST_F(UpgradeTransferTest, AnInvalidFileSendsNothing) {
    start();
    ASSERT_EQ(lookup(), 0);
    net::UpgradeFile invalid;
    const std::uint8_t junk[200] = {1, 2, 3};
    ASSERT_FALSE(invalid.LoadBytes(junk, sizeof junk));
    const auto sentBefore = service_->core().stats().datagramsSent;
    EXPECT_FALSE(service_->Item(0)->UpgradePortOs(invalid));
    EXPECT_EQ(service_->core().stats().datagramsSent, sentBefore);
    EXPECT_EQ(sim().upgradeStarts, 0);
}

// A bad link: datagrams lost both ways, answers sent twice, and datagrams overtaking each other
// both ways. The service gives the transfer time enough for 40 % loss.
class UpgradeOverABadLink : public UpgradeTransferTest, public ::testing::WithParamInterface<int> {};

TEST_P(UpgradeOverABadLink, TheImageArrivesWholeAndIsSwitchedToOnce) {
    start();
    config_.lookupTimeoutMs = 5000;
    config_.upgradeStallTimeoutMs = 5000;
    service_ = std::make_unique<net::NetService>(config_);
    ASSERT_EQ(lookup(), 0);
    const int loss = GetParam();
    fleet_->setLossPercent(loss);
    fleet_->setDuplicatePercent(20);
    fleet_->setReorderPercent(20);
    const std::size_t size = loss >= 40 ? 60000 : 300000;
    ASSERT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.2.1", size)))
        << service_->core().stats().lastUpgradeProblem;
    // The controller put the image together from what arrived and checked it against the file's
    // hash before it switched: a block missing, twice or out of place and it would have refused.
    EXPECT_EQ(sim().portOsRevision, "3.2.1");
    EXPECT_EQ(sim().upgradesApplied, 1);
    EXPECT_EQ(sim().upgradesRefused, 0);
    EXPECT_GT(service_->core().stats().upgradeBlocksResent, 0u);
    EXPECT_GT(fleet_->stats().lost, 0u);
}

INSTANTIATE_TEST_SUITE_P(Loss, UpgradeOverABadLink, ::testing::Values(10, 40),
                         [](const auto& info) { return std::to_string(info.param) + "Percent"; });

TEST_F(UpgradeTransferTest, AControllerThatFallsSilentMidTransferKeepsItsOldPortOs) {
    start();
    ASSERT_EQ(lookup(), 0);
    fleet_->setDelayMs(1, 1);  // slow enough that the transfer is surely under way when the controller goes
    std::atomic<bool> wentOffline{false};
    std::thread killer([&] {
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < until && fleet_->controller(kSerial)->upgradeBlocks < 100)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        fleet_->setOffline(kSerial, true);
        wentOffline = true;
    });
    const auto t0 = Clock::now();
    const bool ok = service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.9", 2 << 20));
    const double took = msSince(t0);
    killer.join();
    ASSERT_TRUE(wentOffline);
    EXPECT_FALSE(ok);
    EXPECT_NE(service_->core().stats().lastUpgradeProblem.find("connection to the controller was lost"),
              std::string::npos)
        << service_->core().stats().lastUpgradeProblem;
    EXPECT_EQ(service_->Item(0)->LastUpgradeVerdict(), net::UpgradeVerdict::NotCompleted);
    // Bounded: the stall bound (500 ms) after the last acknowledgement, not the whole-transfer bound.
    EXPECT_LT(took, 5000.0);
    const auto s = sim();
    EXPECT_EQ(s.portOsRevision, "2.11");
    EXPECT_EQ(s.upgradesApplied, 0);
    EXPECT_GE(s.upgradeBlocks, 100);

    // Back online it runs the old port OS, and a new transfer starts afresh and succeeds.
    fleet_->setOffline(kSerial, false);
    fleet_->setDelayMs(0, 0);
    ASSERT_EQ(lookup(), 0);
    EXPECT_EQ(service_->Item(0)->PortOsRevision(), "2.11");
    ASSERT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, "3.9", 100000)));
    EXPECT_EQ(sim().portOsRevision, "3.9");
}

TEST_F(UpgradeTransferTest, OnlyTheAddressedControllerTakesTheImage) {
    start({upgradableController(1), upgradableController(2), upgradableController(3, 5)});
    ASSERT_GE(lookup("30-00002"), 0);
    const int index = lookup("30-00002");
    ASSERT_TRUE(service_->Item(std::int16_t(index))->UpgradePortOs(upgradeFile(3, "7.0", 30000)));
    EXPECT_EQ(sim("30-00002").portOsRevision, "7.0");
    EXPECT_EQ(sim("30-00001").portOsRevision, "2.11");
    EXPECT_EQ(sim("30-00001").upgradeBlocks, 0);
    EXPECT_EQ(sim("30-00003").upgradeBlocks, 0);
}

TEST_F(UpgradeTransferTest, SmallImagesAndOddSizesArriveWhole) {
    start();
    ASSERT_EQ(lookup(), 0);
    // One byte, exactly one block, one byte over a block, many windows plus a bit.
    for (std::size_t size : {std::size_t(1), std::size_t(1280), std::size_t(1281), std::size_t(64 * 1280 * 3 + 17)}) {
        const std::string revision = "r" + std::to_string(size);
        ASSERT_TRUE(service_->Item(0)->UpgradePortOs(upgradeFile(3, revision, size, unsigned(size))))
            << size << ": " << service_->core().stats().lastUpgradeProblem;
        EXPECT_EQ(sim().portOsRevision, revision);
        ASSERT_EQ(lookup(), 0);  // waits out the restart before the next
    }
    EXPECT_EQ(sim().upgradesApplied, 4);
}
