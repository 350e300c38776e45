#pragma once
// A simulated site on loopback for the communication-module tests, and the
// per-test reset of everything process-wide the module touches.
#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"

namespace zelmar::commtest {

// Controller n (1-based) of the test site: fixed settings in 10.30.0.0/16,
// listening on 127.78.0.n.
inline sim::SimControllerState controller(int n) {
    sim::SimControllerState s = zelmar::testing::siteController(20, 0x77, "127.78.0", n);
    s.name = "Controller " + std::to_string(n);
    s.description = "Plant room " + std::to_string(n);
    s.mainComputerAddress = "10.30.0.5";
    s.useDhcp = false;
    s.ipAddress = s.configIpAddress = "10.30.0." + std::to_string(10 + n);
    s.subnetMask = s.configSubnetMask = "255.255.0.0";
    s.gateway = s.configGateway = "10.30.0.1";
    s.dnsServer = s.configDnsServer = "10.30.0.2";
    s.attachedNetwork = "10.30.0.0/16";
    s.capabilities = 8;
    s.modelCode = 101;
    s.portOsType = 3;
    s.portOsRevision = "2.11";
    return s;
}

// Controller n requiring encryption with `password`.
inline sim::SimControllerState encrypting(int n, const std::string& password) {
    sim::SimControllerState s = controller(n);
    s.requireEncryption = true;
    s.encryptionPassword = password;
    return s;
}

inline std::vector<sim::SimControllerState> site(int count) {
    std::vector<sim::SimControllerState> list;
    for (int n = 1; n <= count; ++n)
        list.push_back(controller(n));
    return list;
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::ModalSeam::setStrict(true);
        ui::ModalSeam::clearAnswers();
        ui::ModalSeam::clearLog();
        comm::CloseService();
        comm::clearServiceConfigForTests();
        comm::state() = comm::SharedState{};
        ui::setMousePointer(ui::MousePointer::Normal);
    }

    void TearDown() override {
        // Every queued answer must have been asked for.
        EXPECT_EQ(ui::ModalSeam::pendingAnswers(), 0);
        ui::ModalSeam::clearAnswers();
        comm::CloseService();
        comm::clearServiceConfigForTests();
        fleet_.reset();
        ui::setMousePointer(ui::MousePointer::Normal);
    }

    // Starts the site and points every service object created from now on at it.
    sim::SimFleet& startSite(std::vector<sim::SimControllerState> controllers, int failEntryReadsAfter = -1) {
        fleet_ = std::make_unique<sim::SimFleet>(zelmar::testing::startFleet(std::move(controllers)));
        net::ServiceConfig config = zelmar::testing::quickConfig(*fleet_);
        config.failEntryReadsAfter = failEntryReadsAfter;
        comm::setServiceConfigForTests(config);
        return *fleet_;
    }

    sim::SimFleet& fleet() { return *fleet_; }
    sim::SimControllerState sim(const std::string& serial) { return fleet_->controller(serial).value(); }

    static std::uint64_t sentByService() { return comm::Service().core().stats().datagramsSent; }
    static std::uint64_t searchRounds() { return comm::Service().core().stats().searchRounds; }

    // The serial numbers of the service's entries, in index order.
    static QStringList entrySerials() {
        QStringList serials;
        net::NetService& service = comm::Service();
        for (std::int32_t i = 0; i < service.ControllerCount(); ++i)
            serials << QString::fromStdString(service.Item(std::int16_t(i))->SerialNo());
        return serials;
    }

    static QStringList shownTexts() {
        QStringList texts;
        for (const ui::ModalRequest& r : ui::ModalSeam::log())
            texts << r.text;
        return texts;
    }

    static void answer(int button) { ui::ModalSeam::pushButton(button); }

    // The record as the setup command leaves it for `serial`, renamed and moved,
    // with a service open to write it.
    static comm::SettingsRecord& renamedRecordFor(const std::string& serial) {
        comm::OpenService();
        comm::SettingsRecord& r = comm::state().Settings;
        r.SerialNo = QString::fromStdString(serial);
        r.Name = "Renamed";
        r.Description = "Moved to the roof";
        r.MainComputerAddress = "10.30.0.6";
        return r;
    }

private:
    std::unique_ptr<sim::SimFleet> fleet_;
};

}  // namespace zelmar::commtest
