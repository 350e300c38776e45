// The zelmar-controller-sim program: its ready line, a clean stop on SIGTERM,
// settings that survive a restart, and a state file that survives kill -9
// in the middle of a burst of setups.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <set>
#include <thread>

#include "platform/netservice/net_service.h"
#include "simulator/fleet_file.h"

using namespace zelmar;

namespace {
struct Started {
    std::unique_ptr<QProcess> process;
    std::string readyLine;
};

Started startSim(const QStringList& args) {
    Started s;
    s.process = std::make_unique<QProcess>();
    s.process->setProgram(QStringLiteral(ZELMAR_SIM_EXE));
    s.process->setArguments(args);
    s.process->start();
    EXPECT_TRUE(s.process->waitForStarted(10000));
    // Exactly one line, when the controllers listen.
    for (int i = 0; i < 200 && !s.process->canReadLine(); ++i)
        s.process->waitForReadyRead(100);
    s.readyLine = s.process->readLine().trimmed().toStdString();
    return s;
}

std::string readAll(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll().toStdString();
}

std::shared_ptr<net::ControllerEntry> find(net::NetService& service, const std::string& serial) {
    service.Clear();
    service.setSearchSerialNo(serial);
    service.AddSerialNoSearch();
    service.Search();
    for (int i = 0; i < service.ControllerCount(); ++i)
        if (service.Item(std::int16_t(i))->SerialNo() == serial)
            return service.Item(std::int16_t(i));
    return nullptr;
}
}  // namespace

TEST(SimProcess, PrintsOneReadyLineAndStopsCleanlyKeepingWrittenSettings) {
    QTemporaryDir dir;
    const QString client = QDir(dir.path()).filePath("client.json");
    const QString state = QDir(dir.path()).filePath("state.json");
    const QString log = QDir(dir.path()).filePath("sim.log");
    auto sim = startSim({"--generate", "12", "--port", "0", "--client-config", client, "--state", state, "--log", log});
    ASSERT_EQ(sim.readyLine.rfind("ready port=", 0), 0u) << sim.readyLine;
    EXPECT_NE(sim.readyLine.find("controllers=12"), std::string::npos);
    EXPECT_NE(sim.readyLine.find("client-config=" + client.toStdString()), std::string::npos);

    {
        net::NetService service(net::ServiceConfig::fromFile(client.toStdString()));
        service.Search();
        EXPECT_EQ(service.ControllerCount(), 12);
        auto e = find(service, "10-00004");
        ASSERT_TRUE(e);
        e->setName("Survives restarts");
        e->setApply(true);
        EXPECT_TRUE(e->SetupOk());
    }
    sim.process->terminate();  // SIGTERM
    ASSERT_TRUE(sim.process->waitForFinished(5000));
    EXPECT_EQ(sim.process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process->exitCode(), 0);
    EXPECT_TRUE(sim.process->readAllStandardOutput().trimmed().isEmpty());  // nothing after the ready line
    EXPECT_NE(readAll(log).find("Setup id="), std::string::npos);

    // Started again on the same state, without --generate: the written name is back.
    auto again = startSim({"--state", state, "--port", "0", "--client-config", client});
    ASSERT_EQ(again.readyLine.rfind("ready port=", 0), 0u) << again.readyLine;
    net::NetService service(net::ServiceConfig::fromFile(client.toStdString()));
    auto e = find(service, "10-00004");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Name(), "Survives restarts");
    again.process->kill();
    again.process->waitForFinished(5000);
}

// Every value is checked before a socket is opened: a usage error exits 2 and names the option.
TEST(SimProcess, BadOptionsEndWithAMessageNamingTheOption) {
    const struct {
        QStringList args;
        const char* named;
    } cases[] = {
        {{"--generate"}, "--generate"},
        {{"--generate", "3x"}, "--generate must be a whole number"},
        {{"--generate", "3", "--loss", "abc"}, "--loss must be a number from 0 to 100"},
        {{"--generate", "3", "--loss", "150"}, "--loss"},
        {{"--generate", "3", "--loss", "-5"}, "--loss"},
        {{"--generate", "3", "--reorder", "101"}, "--reorder"},
        {{"--generate", "3", "--delay", "5-1"}, "--delay"},
        {{"--generate", "3", "--offline", "NOSUCH"}, "--offline NOSUCH"},
        {{"--generate", "3", "--port", "70000"}, "--port"},
        {{"--generate", "3", "extra"}, "extra"},
        {{"--generate", "3", "--generate", "4"}, "more than once"},
        {{"--fleet", "f.json", "--generate", "3"}, "not both"},
        {{"--generate", "3", "--first-address", "192.0.2.1"}, "--first-address must be in 127.0.0.0/8"},
        {{"--frobnicate"}, "frobnicate"},
    };
    for (const auto& c : cases) {
        QProcess p;
        p.start(QStringLiteral(ZELMAR_SIM_EXE), c.args + QStringList{"--port", "0"});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << c.args.join(' ').toStdString();
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.contains(c.named)) << err.toStdString();
    }
    QProcess p;
    p.start(QStringLiteral(ZELMAR_SIM_EXE), {"--version"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("zelmar-controller-sim "));
}

// A generated fleet for a site of network namespaces: --any-address lets its
// first address lie outside loopback (written, not played, here).
TEST(SimProcess, AnyAddressTakesAFirstAddressOutsideLoopback) {
    QTemporaryDir dir;
    const QString fleetFile = QDir(dir.path()).filePath("fleet.json");
    QProcess p;
    p.start(QStringLiteral(ZELMAR_SIM_EXE),
            {"--generate", "2", "--first-address", "192.0.2.10", "--any-address", "--write-fleet", fleetFile});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // Read as plain JSON: this process does not take addresses outside loopback.
    const QJsonArray controllers =
        QJsonDocument::fromJson(QByteArray::fromStdString(readAll(fleetFile))).object()["controllers"].toArray();
    ASSERT_EQ(controllers.size(), 2);
    EXPECT_EQ(controllers[0].toObject()["address"].toString(), QStringLiteral("192.0.2.10"));
}

// Faults given on the command line belong to the run: the state file keeps the fleet's own.
TEST(SimProcess, FaultOptionsAreNotWrittenIntoTheStateFile) {
    QTemporaryDir dir;
    const QString state = QDir(dir.path()).filePath("state.json");
    auto sim = startSim({"--generate", "3", "--port", "0", "--state", state, "--loss", "30", "--duplicate", "20",
                         "--reorder", "10", "--delay", "1-2", "--offline", "10-00002", "--restart-ms", "50"});
    ASSERT_EQ(sim.readyLine.rfind("ready port=", 0), 0u) << sim.readyLine;
    sim.process->terminate();
    ASSERT_TRUE(sim.process->waitForFinished(5000));
    const auto stored = sim::parseFleet(readAll(state));
    EXPECT_EQ(stored.faults.lossPercent, 0);
    EXPECT_EQ(stored.faults.duplicatePercent, 0);
    EXPECT_EQ(stored.faults.reorderPercent, 0);
    EXPECT_EQ(stored.faults.delayMaxMs, 0);
    for (const auto& c : stored.controllers) {
        EXPECT_FALSE(c.offline) << c.serialNo;
        EXPECT_EQ(c.restartMs, 1000) << c.serialNo;
    }
}

TEST(SimProcess, StateFileSurvivesKillDuringABurstOfSetups) {
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir dir;
        const QString client = QDir(dir.path()).filePath("client.json");
        const QString state = QDir(dir.path()).filePath("state.json");
        // Large enough that each write of the state file takes a while.
        auto sim = startSim({"--generate", "400", "--port", "0", "--client-config", client, "--state", state});
        ASSERT_EQ(sim.readyLine.rfind("ready port=", 0), 0u) << sim.readyLine;
        const auto original = sim::parseFleet(readAll(state));

        net::ServiceConfig config = net::ServiceConfig::fromFile(client.toStdString());
        config.lookupTimeoutMs = 300;
        net::NetService service(config);
        service.Search();
        ASSERT_EQ(service.ControllerCount(), 400);

        std::set<std::string> confirmed;  // serial numbers whose setup the controller confirmed
        std::set<std::string> attempted;
        std::atomic<bool> killed{false};
        std::thread killer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + 120 * round));
            sim.process->kill();  // SIGKILL, by this process's own child id
            killed = true;
        });
        for (int i = 0; i < 400 && !killed; ++i) {
            auto e = service.Item(std::int16_t(i));
            const std::string serial = e->SerialNo();
            e->setName("burst " + serial);
            e->setDescription("written in round " + std::to_string(round));
            attempted.insert(serial);
            e->setApply(true);
            if (e->SetupOk())
                confirmed.insert(serial);
        }
        killer.join();
        sim.process->waitForFinished(5000);
        ASSERT_GT(confirmed.size(), 0u) << "the kill came before any setup";
        ASSERT_LT(confirmed.size(), 400u) << "the kill came after the burst";

        // Never torn: the file parses whole, with every controller.
        sim::FleetData after;
        ASSERT_NO_THROW(after = sim::parseFleet(readAll(state))) << "round " << round;
        ASSERT_EQ(after.controllers.size(), original.controllers.size());
        for (std::size_t i = 0; i < after.controllers.size(); ++i) {
            const auto& c = after.controllers[i];
            const bool written = c.name == "burst " + c.serialNo;
            if (confirmed.count(c.serialNo)) {
                EXPECT_TRUE(written) << c.serialNo << " was confirmed but is not in the file";
            } else if (!attempted.count(c.serialNo)) {
                EXPECT_EQ(c.name, original.controllers[i].name) << c.serialNo;
            }
            if (written) {  // a setup is whole in the file or not there at all
                EXPECT_EQ(c.description, "written in round " + std::to_string(round));
            }
        }
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
