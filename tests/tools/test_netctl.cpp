// zelmar-netctl: its commands against a simulated fleet, and the program as
// the interface scripts use it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "simulator/sim_fleet.h"
#include "tools/netctl/netctl_commands.h"

using namespace zelmar;

namespace {
struct Run {
    int code;
    std::string out;
    std::string err;
};
Run run(const sim::SimFleet& fleet, std::vector<std::string> args, bool json = false) {
    netctl::Options o;
    o.config = fleet.clientConfig();
    o.config.lookupTimeoutMs = 500;
    o.json = json;
    std::ostringstream out, err;
    const int code = netctl::run(args, o, out, err);
    return {code, out.str(), err.str()};
}
std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}
}  // namespace

TEST(Netctl, SearchListsEveryControllerAsJsonLines) {
    auto fleet = sim::SimFleet::generate(15);
    fleet.start(0);
    const auto r = run(fleet, {"search"}, true);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto ls = lines(r.out);
    ASSERT_EQ(ls.size(), 15u);
    for (const auto& l : ls) {
        QJsonParseError e{};
        const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(l), &e);
        ASSERT_EQ(e.error, QJsonParseError::NoError) << l;
        const QJsonObject o = doc.object();
        for (const char* key : {"SerialNo", "Name", "Description", "EthernetAddress", "IpAddress", "SubnetMask",
                                "Gateway", "DnsServer", "UseDhcp", "DnsName", "MainComputerAddress",
                                "RequireEncryption", "PasswordOk", "Capabilities", "ModelCode", "PortOsType",
                                "PortOsRevision"})
            EXPECT_TRUE(o.contains(key)) << key;
        const auto s = fleet.controller(o["SerialNo"].toString().toStdString());
        ASSERT_TRUE(s);
        EXPECT_EQ(o["Name"].toString().toStdString(), s->name);  // non-ASCII names survive the JSON
        EXPECT_EQ(o["UseDhcp"].toBool(), s->useDhcp);
    }
    const auto plain = run(fleet, {"search"});
    EXPECT_EQ(lines(plain.out).size(), 15u);
    const auto one = run(fleet, {"search", "127.77.0.2"}, true);
    EXPECT_EQ(lines(one.out).size(), 1u);
    const auto net = run(fleet, {"search", "127.77.0.0/28"}, true);
    EXPECT_EQ(lines(net.out).size(), 14u);
    EXPECT_EQ(run(fleet, {"search", "not an address"}).code, 2);
}

TEST(Netctl, FindSetMarkAndCheck) {
    auto fleet = sim::SimFleet::generate(6);
    fleet.start(0);
    auto r = run(fleet, {"find", "10-00003"}, true);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"SerialNo\":\"10-00003\""), std::string::npos);
    EXPECT_EQ(run(fleet, {"find", "55-00001"}).code, 1);

    r = run(fleet, {"set", "10-00003", "Name=Pump hall", "Description=Floor 2", "ConfigIpAddress=10.20.9.9"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fleet.controller("10-00003")->name, "Pump hall");
    EXPECT_EQ(fleet.controller("10-00003")->ipAddress, "10.20.9.9");

    r = run(fleet, {"set", "10-00003", "Name=Not taken", "ConfigSubnetMask=255.0.255.0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos);
    EXPECT_EQ(fleet.controller("10-00003")->name, "Pump hall");

    EXPECT_EQ(run(fleet, {"set", "10-00003", "Serial=1"}).code, 2);   // not a settable field
    EXPECT_EQ(run(fleet, {"set", "10-00003", "UseDhcp=maybe"}).code, 2);
    EXPECT_EQ(run(fleet, {"set", "10-00003"}).code, 2);
    EXPECT_EQ(fleet.controller("10-00003")->setupsReceived, 2);  // usage errors send nothing

    EXPECT_EQ(run(fleet, {"mark", "10-00002"}).code, 0);
    EXPECT_TRUE(fleet.controller("10-00002")->marked);
    EXPECT_EQ(run(fleet, {"unmark", "10-00002"}).code, 0);
    EXPECT_FALSE(fleet.controller("10-00002")->marked);

    EXPECT_EQ(run(fleet, {"check", "10-00003", "ConfigIpAddress=10.20.1.1"}).code, 0);
    r = run(fleet, {"check", "10-00003", "ConfigIpAddress=172.16.0.1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("does not fit"), std::string::npos);
    EXPECT_EQ(run(fleet, {"frobnicate", "x"}).code, 2);
    EXPECT_EQ(run(fleet, {}).code, 2);
}

TEST(Netctl, InterfaceScriptUsage) {
    QTemporaryDir dir;
    const QString client = QDir(dir.path()).filePath("client.json");
    QProcess sim;
    sim.start(QStringLiteral(ZELMAR_SIM_EXE), {"--generate", "9", "--port", "0", "--client-config", client});
    ASSERT_TRUE(sim.waitForStarted(5000));
    for (int i = 0; i < 100 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    ASSERT_TRUE(sim.readLine().startsWith("ready port="));

    QProcess ctl;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELMAR_NETSERVICE_CONFIG", client);
    ctl.setProcessEnvironment(env);
    ctl.start(QStringLiteral(ZELMAR_NETCTL_EXE), {"search", "--json"});
    ASSERT_TRUE(ctl.waitForFinished(10000));
    EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    const auto out = lines(ctl.readAllStandardOutput().toStdString());
    EXPECT_EQ(out.size(), 9u);
    for (const auto& l : out)
        EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(l)).isObject()) << l;

    // The password is never taken from the command line; from standard input it is.
    ctl.start(QStringLiteral(ZELMAR_NETCTL_EXE), {"--password=secret", "search"});
    ASSERT_TRUE(ctl.waitForFinished(10000));
    EXPECT_EQ(ctl.exitCode(), 2);
    EXPECT_TRUE(ctl.readAllStandardOutput().isEmpty());
    ctl.start(QStringLiteral(ZELMAR_NETCTL_EXE), {"--password-stdin", "find", "10-00002"});
    ctl.write("secret\n");
    ctl.closeWriteChannel();
    ASSERT_TRUE(ctl.waitForFinished(10000));
    EXPECT_EQ(ctl.exitCode(), 0);

    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
