// zelmar-netctl: its commands against a simulated fleet, and the program as
// the interface scripts use it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/sim_fleet.h"
#include "tests/common/sim_site.h"
#include "platform/cli/program_arguments.h"
#include "tools/netctl/command_line.h"
#include "site/controller_record.h"
#include "site/csv.h"
#include "tools/netctl/netctl_adapters.h"
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
    o.config = zelmar::testing::quickConfig(fleet);
    o.json = json;
    std::ostringstream out, err;
    const int code = netctl::run(args, o, out, err);
    return {code, out.str(), err.str()};
}
// The whole program in this process, with the service configuration of `fleet`.
Run runProgram(const sim::SimFleet& fleet, const QStringList& args, const std::string& input = {}) {
    static QTemporaryDir dir;
    const QString config = QDir(dir.path()).filePath("client.json");
    const auto c = zelmar::testing::quickConfig(fleet);
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray::fromStdString(c.toJson())) < 0)
        return {-1, "", "cannot write " + config.toStdString()};
    f.close();
    qputenv("ZELMAR_NETSERVICE_CONFIG", config.toLocal8Bit());
    std::istringstream in(input);
    std::ostringstream out, err;
    const int code = netctl::runCommandLine(QStringList{"zelmar-netctl"} + args, in, out, err);
    return {code, out.str(), err.str()};
}
bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}
}  // namespace

TEST(Netctl, SearchListsEveryControllerAsJsonLines) {
    auto fleet = zelmar::testing::startFleet(15);
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
    const auto nobody = run(fleet, {"search", "127.77.0.200"});
    EXPECT_EQ(nobody.code, 0) << "the search ran";
    EXPECT_TRUE(nobody.out.empty()) << nobody.out;
    EXPECT_NE(nobody.err.find("no controller answered the search"), std::string::npos) << nobody.err;
}

TEST(Netctl, CsvExportAndDuplicateAddresses) {
    // Two controllers report the same fixed address; texts hold commas, quotes and Swedish letters.
    auto fleet = sim::SimFleet::fromJson(R"({"controllers": [
        {"serialNo": "10-00001", "ethernetAddress": "00-1A-4C-00-00-01", "address": "127.77.0.1",
         "name": "Pannrum, \"öst\"", "description": "Hus 3, vån 2", "ipAddress": "10.20.1.3", "subnetMask": "255.255.0.0"},
        {"serialNo": "10-00002", "ethernetAddress": "00-1A-4C-00-00-02", "address": "127.77.0.2",
         "ipAddress": "10.20.1.3", "subnetMask": "255.255.0.0"},
        {"serialNo": "10-00003", "ethernetAddress": "00-1A-4C-00-00-03", "address": "127.77.0.3",
         "ipAddress": "10.20.1.4", "subnetMask": "255.255.0.0"}]})");
    fleet.start(0);

    const auto json = runProgram(fleet, {"--json", "search"});
    ASSERT_EQ(json.code, 0);
    EXPECT_NE(json.err.find("warning: controllers 10-00001, 10-00002 all report the fixed IP address 10.20.1.3"),
              std::string::npos) << json.err;
    for (const auto& l : lines(json.out)) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(l)).object();
        EXPECT_EQ(o["DuplicateIpAddress"].toBool(), o["SerialNo"].toString() != "10-00003") << l;
    }

    const auto csvOut = runProgram(fleet, {"--csv", "search"});
    ASSERT_EQ(csvOut.code, 0);
    const auto table = site::csv::read(csvOut.out);
    ASSERT_TRUE(table.error.empty());
    ASSERT_EQ(table.records.size(), 4u);
    EXPECT_EQ(table.records[0].fields, site::csvHeader());
    for (const auto& record : table.records) {
        if (record.fields[0] == "10-00001") {
            EXPECT_EQ(record.fields[2], "Pannrum, \"öst\"");
        }
    }

    const auto one = runProgram(fleet, {"--csv", "find", "10-00003"});
    ASSERT_EQ(one.code, 0);
    EXPECT_EQ(site::csv::read(one.out).records.size(), 2u);
    EXPECT_EQ(runProgram(fleet, {"--csv", "--json", "search"}).code, netctl::kExitUsage);
}

TEST(Netctl, FindSetMarkAndCheck) {
    auto fleet = zelmar::testing::startFleet(6);
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
    EXPECT_NE(r.err.find("refused: ConfigSubnetMask: invalid value; nothing changed"), std::string::npos) << r.err;
    EXPECT_EQ(fleet.controller("10-00003")->name, "Pump hall");

    // Answers lost: a setup found in place is done; one that is not is of unknown state, not "refused".
    fleet.setLoseReplies(net::wire::MsgType::SetupReply, true);
    r = run(fleet, {"set", "10-00003", "Name=Answer lost"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = run(fleet, {"set", "10-00003", "ConfigSubnetMask=255.0.255.0"});
    EXPECT_EQ(r.code, netctl::kExitUnknown);
    EXPECT_EQ(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("state is unknown"), std::string::npos) << r.err;
    fleet.setLoseReplies(net::wire::MsgType::SetupReply, false);

    EXPECT_EQ(run(fleet, {"set", "10-00003", "Serial=1"}).code, 2);   // not a settable field
    EXPECT_EQ(run(fleet, {"set", "10-00003", "UseDhcp=maybe"}).code, 2);
    EXPECT_EQ(run(fleet, {"set", "10-00003"}).code, 2);
    EXPECT_EQ(fleet.controller("10-00003")->setupsReceived, 4);  // usage errors send nothing

    EXPECT_EQ(run(fleet, {"mark", "10-00002"}).code, 0);
    EXPECT_TRUE(fleet.controller("10-00002")->marked);
    EXPECT_EQ(run(fleet, {"unmark", "10-00002"}).code, 0);
    EXPECT_FALSE(fleet.controller("10-00002")->marked);
    fleet.setLoseReplies(net::wire::MsgType::MarkReply, true);  // no word from the controller: no success
    r = run(fleet, {"mark", "10-00002"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no answer"), std::string::npos) << r.err;
    fleet.setLoseReplies(net::wire::MsgType::MarkReply, false);

    EXPECT_EQ(run(fleet, {"check", "10-00003", "ConfigIpAddress=10.20.1.1"}).code, 0);
    r = run(fleet, {"check", "10-00003", "ConfigIpAddress=172.16.0.1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("does not fit"), std::string::npos);
    EXPECT_EQ(run(fleet, {"frobnicate", "x"}).code, 2);
    EXPECT_EQ(run(fleet, {}).code, 2);
}

// Every usage error is found before anything is sent, exits 2 and names what is wrong.
TEST(Netctl, UsageErrorsNameTheProblemAndSendNothing) {
    auto fleet = zelmar::testing::startFleet(3);
    struct Case {
        QStringList args;
        std::string named;  // a part of the error text
    };
    std::vector<Case> cases = {
        {{}, "a command is needed"},
        {{"frobnicate", "x"}, "unknown command"},
        {{"--bogus", "search"}, "bogus"},
        {{"--password=secret", "search"}, "not taken from the command line"},
        {{"search", "127.77.0.1/99"}, "\"99\" is not a subnet mask"},
        {{"search", "127.77.0.1/abc"}, "not a subnet mask"},
        {{"search", "127.77.0.1", "127.77.0.2"}, "one ADDRESS"},
        {{"find"}, "SERIAL"},
        {{"find", "10-00001", "10-00002"}, "SERIAL"},
        {{"find", QString(100000, '9')}, "longer than 32 bytes"},
        {{"find", "10-0\x01"}, "control character"},
        {{"mark", QString(33, '1')}, "longer than 32 bytes"},
        {{"set", "10-00001"}, "FIELD=VALUE"},
        {{"set", "10-00001", "UseDhcp=maybe"}, "UseDhcp is not true or false"},
        {{"set", "10-00001", "IpAddress=10.20.1.9"}, "did you mean ConfigIpAddress?"},
        {{"set", "10-00001", "name=Pump"}, "did you mean Name?"},
        {{"set", "10-00001", "Name"}, "has no value"},
        {{"set", "10-00001", "Name=a", "Name=b"}, "more than once"},
        {{"set", "10-00001", "Description=" + QString(6000, 'x')}, "Description is longer than 255 bytes"},
        {{"set", "10-00001", "Name=" + QString(65, 'x')}, "Name is longer than 64 bytes"},
        {{"set", "10-00001", "ConfigGateway=10.20.0.1\t"}, "ConfigGateway holds a control character"},
        {{"set", "10-00001", "EncryptionPassword=Geheim-1"}, "not taken from the command line"},
        {{"set", "10-00001", "EncryptionPassword"}, "no new password given"},
        {{"--new-password-stdin", "set", "10-00001", "Name=x"}, "EncryptionPassword"},
        {{"check", "10-00001", "Name=Pump"}, "not a settable field"},
    };
#ifndef _WIN32  // Windows hands a program its command line as UTF-16 text: no bytes to refuse
    // A name typed in a Latin-1 terminal arrives as bytes that are not UTF-8.
    char set[] = "set", serial[] = "10-00001", latin1Name[] = "Name=Pannrum \xF6st";
    char* typed[] = {set, serial, latin1Name};
    cases.push_back({cli::programArguments(3, typed), "Name holds a control character or is not UTF-8"});
#endif
    for (const auto& c : cases) {
        const auto r = runProgram(fleet, c.args);
        EXPECT_EQ(r.code, netctl::kExitUsage) << c.args.join(' ').left(80).toStdString();
        EXPECT_TRUE(has(r.err, c.named)) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(has(r.err, "Geheim-1")) << r.err;
    }
    EXPECT_EQ(fleet.stats().received, 0u);

    auto r = runProgram(fleet, {"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"search", "connected", "find", "set", "check", "mark", "ConfigIpAddress", "EncryptionPassword"})
        EXPECT_TRUE(has(r.out, part)) << part;
    EXPECT_TRUE(has(r.out, "4 set got no answer")) << "every exit code listed: " << r.out;
    r = runProgram(fleet, {"set", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out, "ConfigSubnetMask") && has(r.out, "ZELMAR_NEW_PASSWORD")) << r.out;
    EXPECT_TRUE(has(r.out, "3 configuration or service error, 4 set got no answer")) << r.out;
    r = runProgram(fleet, {"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out, "zelmar-netctl ")) << r.out;
    EXPECT_EQ(fleet.stats().received, 0u);
}

// The new encryption password comes from standard input; a wrong network
// password is named, and what is shown is only the identity.
TEST(Netctl, EncryptionPasswordFromStandardInput) {
    auto fleet = zelmar::testing::startFleet(6);
    std::string serial;
    for (int i = 1; i <= 6 && serial.empty(); ++i) {
        const std::string s = "10-0000" + std::to_string(i);
        if (fleet.controller(s)->capabilities & 8u)
            serial = s;
    }
    ASSERT_FALSE(serial.empty());
    const QString q = QString::fromStdString(serial);
    auto r = runProgram(fleet, {"--new-password-stdin", "set", q, "RequireEncryption=1", "EncryptionPassword"},
                        "Geheim-1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fleet.controller(serial)->requireEncryption);

    r = runProgram(fleet, {"--password-stdin", "--json", "find", q}, "Geheim-1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\"PasswordOk\":true")) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;

    r = runProgram(fleet, {"--password-stdin", "find", q}, "wrong\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "the network password was not accepted") && has(r.err, "only the identity")) << r.err;
}

TEST(Netctl, InterfaceScriptUsage) {
    QTemporaryDir dir;
    const QString client = QDir(dir.path()).filePath("client.json");
    auto fleet = zelmar::testing::startFleet(9);
    fleet.writeClientConfig(client.toStdString());

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
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// `adapters`: every adapter with why a search does or does not go through it,
// and each search target with the adapter it leaves through; what the
// loopback guard keeps back is said, in JSON and in text.
TEST(Netctl, AdaptersReportTellsWhereASearchGoesAndWhatTheGuardKeepsBack) {
    auto adapter = [](const char* name, unsigned index, bool up, bool loopback, const char* address,
                      const char* mask, const char* broadcast) {
        net::Adapter a;
        a.name = a.displayName = name;
        a.index = index;
        a.up = a.running = up;
        a.canBroadcast = !loopback;
        a.loopback = loopback;
        a.ipv4.push_back({*net::ipv4::parse(address), *net::ipv4::parse(mask), *net::ipv4::parse(broadcast)});
        return a;
    };
    netctl::AdapterReport report;
    report.source = {net::ConfigSource::Kind::User, "/home/t/.config/zelmar/netservice.json"};
    report.config.searchTargets = {"adapters", "127.77.0.1-127.77.0.9"};
    report.adapters = {adapter("lo", 1, true, true, "127.0.0.1", "255.0.0.0", "0.0.0.0"),
                       adapter("eth0", 2, true, false, "192.0.2.10", "255.255.255.0", "192.0.2.255"),
                       adapter("usb0", 3, false, false, "169.254.3.4", "255.255.0.0", "169.254.255.255")};

    std::ostringstream json;
    netctl::printAdapterReport(report, true, json);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json.str())).object();
    EXPECT_EQ(o["configuration"].toObject()["source"].toString(), "user");
    const QJsonArray adapters = o["adapters"].toArray();
    ASSERT_EQ(adapters.size(), 3);
    EXPECT_EQ(adapters[0].toObject()["notSearchedBecause"].toString(), "loopback");
    EXPECT_TRUE(adapters[1].toObject()["searched"].toBool());
    EXPECT_EQ(adapters[1].toObject()["ipv4"].toArray()[0].toObject()["mask"].toString(), "255.255.255.0");
    EXPECT_EQ(adapters[2].toObject()["notSearchedBecause"].toString(), "down");
    QStringList targets;
    for (const QJsonValue& t : o["searchTargets"].toArray()) {
        const QJsonObject x = t.toObject();
        targets << x["target"].toString() + " " + x["kind"].toString() + " " + x["via"].toString() + " " +
                       (x["blockedByLoopbackGuard"].toBool() ? "blocked" : "sent");
    }
    EXPECT_EQ(targets, QStringList({"192.0.2.255 directed broadcast eth0 blocked",
                                    "255.255.255.255 limited broadcast eth0 blocked",
                                    "127.77.0.1-127.77.0.9 configured  sent"}));

    std::ostringstream text;
    netctl::printAdapterReport(report, false, text);
    EXPECT_NE(text.str().find("not searched: down"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("192.0.2.255  directed broadcast through eth0  (not sent: loopback guard)"),
              std::string::npos)
        << text.str();

    report.config.allowNonLoopback = true;
    std::ostringstream allowed;
    netctl::printAdapterReport(report, false, allowed);
    EXPECT_EQ(allowed.str().find("loopback guard"), std::string::npos) << allowed.str();
}
