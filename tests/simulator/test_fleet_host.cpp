// The fleet host: a fleet made through it answers over UDP as one made in the
// process does, its counters and faults travel with the calls, a refused call
// comes back as an error, and paths named under Wine find the same file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>
#include <thread>

#include "../common/sim_site.h"
#include "../platform/ui/env_guard.h"
#include "simulator/fleet_host.h"

using namespace zelmar;
namespace site = zelmar::testing;

namespace {
class FleetHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimFleet::useFleetHost("127.0.0.1:" + std::to_string(host_.port()));
    }
    void TearDown() override {
        sim::SimFleet::useFleetHost({});
        stop_ = true;
        serving_.join();
    }
    sim::FleetHost host_{0};
    std::atomic<bool> stop_{false};
    std::thread serving_{[this] { host_.run(stop_); }};
};

int found(const sim::SimFleet& fleet) {
    net::NetService service(site::quickConfig(fleet));
    service.Search();
    return service.ControllerCount();
}
}  // namespace

TEST_F(FleetHostTest, ServesTheFleetAndPassesItsCallsOn) {
    sim::SimFleet fleet = site::startFleet(3);
    EXPECT_TRUE(fleet.running());
    EXPECT_EQ(fleet.clientConfig().port, fleet.port());
    EXPECT_EQ(found(fleet), 3);

    net::NetService service(site::quickConfig(fleet));
    service.Search();
    ASSERT_TRUE(service.Item(std::int16_t(site::indexOf(service, site::serialOf(1))))->MarkSelected());
    EXPECT_EQ(fleet.controller(site::serialOf(1))->markCount, 1);
    EXPECT_TRUE(fleet.controller(site::serialOf(1))->marked);
    EXPECT_FALSE(fleet.controller("99-99999"));
    EXPECT_GT(fleet.stats().received, 0u);
    EXPECT_FALSE(fleet.log().empty());

    fleet.setOffline(site::serialOf(0), true);
    EXPECT_EQ(found(fleet), 2);
    EXPECT_EQ(fleet.controllers().size(), 3u);
}

TEST_F(FleetHostTest, AControllerGivenAPasswordOpensWithItThroughTheHost) {
    auto secure = site::controller(1, "Vault");
    secure.capabilities = net::CapEncryption;
    secure.requireEncryption = true;
    secure.encryptionPassword = "Site-7";
    sim::SimFleet fleet = site::startFleet({secure});
    net::NetService service(site::quickConfig(fleet));
    service.setPassword("Site-7");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 1);
    EXPECT_TRUE(service.Item(0)->PasswordOk());
    EXPECT_EQ(service.Item(0)->Name(), "Vault");
}

TEST_F(FleetHostTest, TheTapSeesEveryDatagramBeforeItGoesOn) {
    std::mutex m;
    int in = 0, out = 0;
    sim::SimFleet fleet = site::startFleet(2);
    fleet.setDatagramTap([&](bool incoming, const std::string&, const net::platform::Endpoint&,
                             const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(m);
        (incoming ? in : out) += bytes.empty() ? 0 : 1;
    });
    EXPECT_EQ(found(fleet), 2);
    std::lock_guard lock(m);  // the answers were seen before they reached the search
    EXPECT_GE(in, 2);
    EXPECT_GE(out, 2);
}

TEST_F(FleetHostTest, ARefusedCallComesBackAsAnError) {
    sim::SimFleet first = site::startFleet(1);
    sim::SimFleet second = sim::SimFleet::generate(1);
    EXPECT_THROW(second.start(first.port()), std::runtime_error);  // the port is taken
}

TEST_F(FleetHostTest, TheStateFileIsWrittenWhereTheClientNamedIt) {
    QTemporaryDir dir;
    const QString state = QDir(dir.path()).filePath("state.json");
    sim::SimFleet fleet = site::startFleet({site::controller(1, "Boiler")}, state.toStdString());
    net::NetService service(site::quickConfig(fleet));
    service.Search();
    ASSERT_TRUE(service.Item(0)->MarkSelected());
    QFile file(state);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\"marked\": true"));
}

TEST(FleetHostPath, AWineDriveLeadsIntoThePrefix) {
    QTemporaryDir prefix;
    QDir(prefix.path()).mkpath("drive_c/users");
    QDir(prefix.path()).mkpath("dosdevices");
    ASSERT_TRUE(QFile::link("../drive_c", QDir(prefix.path()).filePath("dosdevices/c:")));
    site::EnvGuard env;
    env.set("WINEPREFIX", QFile::encodeName(prefix.path()));
    const QString drive = QDir(prefix.path()).canonicalPath() + "/drive_c";
    EXPECT_EQ(sim::hostPath("C:\\users\\tech\\state.json"), (drive + "/users/tech/state.json").toStdString());
    EXPECT_EQ(sim::hostPath("c:/users/x.json"), (drive + "/users/x.json").toStdString());
    EXPECT_EQ(sim::hostPath("/tmp/state.json"), "/tmp/state.json");
    EXPECT_THROW(sim::hostPath("Q:\\nowhere.json"), std::runtime_error);
}
