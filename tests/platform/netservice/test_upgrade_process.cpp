// The port OS upgrade against the zelmar-controller-sim program: a controller
// killed in the middle of a transfer comes back with its old port OS, and a
// completed upgrade survives a restart of the program.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "simulator/fleet_file.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using namespace zelmar;
using zelmar::testing::upgradableController;
using zelmar::testing::upgradeFile;

namespace {

const std::string kSerial = "30-00001";

class SimProgram {
public:
    explicit SimProgram(const QStringList& args) {
        process_.setProgram(QStringLiteral(ZELMAR_SIM_EXE));
        process_.setArguments(args);
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(10000));
        for (int i = 0; i < 200 && !process_.canReadLine(); ++i)
            process_.waitForReadyRead(100);
        ready_ = process_.readLine().trimmed().toStdString();
    }
    ~SimProgram() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool ready() const { return ready_.rfind("ready port=", 0) == 0; }
    const std::string& readyLine() const { return ready_; }
    // SIGKILL on Unix, TerminateProcess on Windows: no chance to tidy up.
    void killHard() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    void stop() {
        process_.terminate();
        process_.waitForFinished(5000);
    }

private:
    QProcess process_;
    std::string ready_;
};

net::ServiceConfig clientConfig(const QString& path) {
    auto c = net::ServiceConfig::fromFile(path.toStdString());
    c.lookupTimeoutMs = 600;
    c.upgradeStallTimeoutMs = 400;
    return c;
}

int lookup(net::NetService& service) {
    service.Clear();
    service.setSearchSerialNo(kSerial);
    service.AddSerialNoSearch();
    service.Search();
    for (int i = 0; i < service.ControllerCount(); ++i)
        if (service.Item(std::int16_t(i))->SerialNo() == kSerial && service.Item(std::int16_t(i))->AnsweredLastSearch())
            return i;
    return -1;
}

}  // namespace

TEST(UpgradeProcess, AControllerKilledMidTransferKeepsItsOldPortOsAndAnUpgradeSurvivesARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fleetFile = dir.filePath("fleet.json");
    const QString state = dir.filePath("state.json");
    const QString client = dir.filePath("client.json");
    {
        sim::FleetData data;
        data.controllers = {upgradableController()};
        QFile f(fleetFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(sim::fleetToJson(data)));
    }

    // 1. Killed in the middle of a 4 MiB transfer (answers delayed 5 ms, so it takes a while).
    {
        SimProgram sim({"--fleet", fleetFile, "--state", state, "--port", "0", "--client-config", client, "--delay",
                        "5-5"});
        ASSERT_TRUE(sim.ready()) << sim.readyLine();
        net::NetService service(clientConfig(client));
        ASSERT_EQ(lookup(service), 0);
        const net::UpgradeFile file = upgradeFile(3, "5.0", 4 << 20);
        // The transfer runs on a thread of its own (the service is used by it alone until the
        // join); the program is killed from here, where it was started.
        std::atomic<bool> done{false};
        bool ok = true;
        std::thread transfer([&] {
            ok = service.Item(0)->UpgradePortOs(file);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const bool finishedBeforeKill = done;
        sim.killHard();
        transfer.join();
        ASSERT_FALSE(finishedBeforeKill) << "the transfer finished before the kill; it should have taken longer";
        EXPECT_FALSE(ok);
        EXPECT_GT(service.core().stats().upgradeBlocksSent, 0u);
        EXPECT_FALSE(service.core().stats().lastUpgradeProblem.empty());
    }

    // 2. Started again from its state file: the old port OS.
    {
        SimProgram sim({"--state", state, "--port", "0", "--client-config", client});
        ASSERT_TRUE(sim.ready()) << sim.readyLine();
        net::NetService service(clientConfig(client));
        ASSERT_EQ(lookup(service), 0);
        EXPECT_EQ(service.Item(0)->PortOsRevision(), "2.11");

        // 3. A whole upgrade; after its restart the controller reports the new revision.
        ASSERT_TRUE(service.Item(0)->UpgradePortOs(upgradeFile(3, "5.0", 200000)))
            << service.core().stats().lastUpgradeProblem;
        ASSERT_EQ(lookup(service), 0);
        EXPECT_EQ(service.Item(0)->PortOsRevision(), "5.0");
        sim.stop();
    }

    // 4. And after the program's restart too: the switch was persisted.
    {
        SimProgram sim({"--state", state, "--port", "0", "--client-config", client});
        ASSERT_TRUE(sim.ready()) << sim.readyLine();
        net::NetService service(clientConfig(client));
        ASSERT_EQ(lookup(service), 0);
        EXPECT_EQ(service.Item(0)->PortOsRevision(), "5.0");
    }
}
