// Upgrading a whole site's port OS with zelmar-netctl, against simulated
// fleets over UDP on loopback: a mixed site, loss with duplicates, a run
// killed half-way and finished by the next, and how many transfers run at once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "platform/netservice/wire/wire.h"
#include "simulator/sim_fleet.h"
#include "tests/common/netctl_process.h"
#include "tests/common/sim_site.h"
#include "tests/platform/netservice/upgrade_helpers.h"
#include "tools/netctl/netctl_commands.h"

using namespace zelmar;

namespace {
constexpr const char* kSitePassword = "Site-7-secret";

struct Result {
    int code;
    std::string out;
    std::string err;
    std::map<std::string, QJsonObject> bySerial;  // the JSON line of each controller
};

// `zelmar-netctl --json [--jobs N] upgrade ARGS...`, with --all when `all`.
Result run(const sim::SimFleet& fleet, std::vector<std::string> args, int jobs = 4, const std::string& password = {},
           bool all = false, int lookupTimeoutMs = 1000) {
    netctl::Options o;
    o.config = fleet.clientConfig();
    o.config.lookupTimeoutMs = lookupTimeoutMs;
    o.password = password;
    o.json = true;
    o.jobs = jobs;
    o.all = all;
    args.insert(args.begin(), "upgrade");
    std::ostringstream out, err;
    Result r{netctl::run(args, o, out, err), out.str(), err.str(), {}};
    for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n'))
        if (!line.isEmpty()) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            r.bySerial[o["SerialNo"].toString().toStdString()] = o;
        }
    return r;
}

std::string fieldOf(const Result& r, const std::string& serial, const char* field) {
    const auto it = r.bySerial.find(serial);
    return it == r.bySerial.end() ? "(none)" : it->second[field].toString().toStdString();
}
std::string outcomeOf(const Result& r, const std::string& serial) { return fieldOf(r, serial, "outcome"); }

// "<dir>/<type>.TcpIpPortOS" holding a random image of `size` bytes at `revision`.
std::string writeUpgradeFile(const QTemporaryDir& dir, std::int16_t type, const std::string& revision,
                             std::size_t size = 30000) {
    const auto bytes = net::UpgradeFile::Build(type, revision, zelmar::testing::randomImage(size, unsigned(type)));
    const QString path = QDir(dir.path()).filePath(QString::number(type) + ".TcpIpPortOS");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path.toStdString();
}

sim::SimControllerState controllerOf(int n, std::int16_t type, const std::string& revision) {
    sim::SimControllerState c = zelmar::testing::upgradableController(n, type);
    c.portOsRevision = revision;
    return c;
}

std::vector<std::string> serialsOf(const sim::SimFleet& fleet) {
    std::vector<std::string> serials;
    for (const auto& c : fleet.controllers())
        serials.push_back(c.serialNo);
    return serials;
}

// Each transfer the simulator logged: its controller and when it started and ended.
struct Transfer {
    std::string controller;
    double start = 0, end = 1e9;
};
std::vector<Transfer> transfersIn(const std::vector<std::string>& log) {
    static const QRegularExpression line(
        R"(^\+([0-9.]+) (\S+) <- \S+ .*(UpgradeStart transfer=(\d+) accepted|UpgradeCommit transfer=(\d+) (switched|refused)|UpgradeAbort transfer=(\d+)))");
    std::map<QString, Transfer> byId;
    for (const std::string& text : log) {
        const auto m = line.match(QString::fromStdString(text));
        if (!m.hasMatch())
            continue;
        const double t = m.captured(1).toDouble();
        if (!m.captured(4).isEmpty())
            byId[m.captured(4)] = {m.captured(2).toStdString(), t};
        const QString ended = m.captured(5).isEmpty() ? m.captured(7) : m.captured(5);
        if (!ended.isEmpty() && byId.count(ended) && byId[ended].end > t)
            byId[ended].end = t;
    }
    std::vector<Transfer> out;
    for (const auto& [id, t] : byId)
        out.push_back(t);
    return out;
}

// The most transfers under way at one moment.
int mostAtOnce(const std::vector<Transfer>& transfers) {
    int most = 0;
    for (const Transfer& a : transfers) {
        const int during = int(std::count_if(transfers.begin(), transfers.end(),
                                             [&](const Transfer& b) { return b.start <= a.start && a.start < b.end; }));
        most = std::max(most, during);
    }
    return most;
}
}  // namespace

TEST(NetctlUpgrade, AMixedSiteEndsWithTheRightOutcomeForEachController) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 8; ++n)
        site.push_back(controllerOf(n, 3, n <= 2 ? "3.2.0" : "3.1.0"));  // two already current
    for (int n = 9; n <= 16; ++n)
        site.push_back(controllerOf(n, 5, "5.0"));
    site[14].capabilities = site[15].capabilities = 8;  // two require encryption: one with the site's password
    site[14].requireEncryption = site[15].requireEncryption = true;
    site[14].encryptionPassword = kSitePassword;
    site[15].encryptionPassword = "another password";
    for (int n = 17; n <= 25; ++n)
        site.push_back(controllerOf(n, 7, "7.3"));
    site[24].offline = true;
    for (int n = 26; n <= 30; ++n)
        site.push_back(controllerOf(n, 9, "9.0"));  // no file for type 9
    auto fleet = zelmar::testing::startFleet(site);
    QTemporaryDir dir;
    const std::vector<std::string> files = {writeUpgradeFile(dir, 3, "3.2.0"), writeUpgradeFile(dir, 5, "5.1"),
                                            writeUpgradeFile(dir, 7, "7.4")};
    std::vector<std::string> args = files;
    for (const std::string& serial : serialsOf(fleet))
        args.push_back(serial);

    const Result r = run(fleet, args, 4, kSitePassword);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    std::map<std::string, std::string> expected;
    for (const auto& c : fleet.controllers()) {
        const int n = std::stoi(c.serialNo.substr(3));
        expected[c.serialNo] = n <= 2 ? "current" : n == 16 ? "refused" : n == 25 ? "not found" : n >= 26 ? "no file" : "upgraded";
    }
    EXPECT_EQ(r.bySerial.size(), 30u) << r.out;
    const std::map<std::int16_t, std::string> fileRevision = {{3, "3.2.0"}, {5, "5.1"}, {7, "7.4"}, {9, "9.0"}};
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        const std::string& want = expected[c.serialNo];
        EXPECT_EQ(outcomeOf(r, c.serialNo), want) << fieldOf(r, c.serialNo, "detail");
        EXPECT_EQ(c.upgradesApplied, want == "upgraded" ? 1 : 0);
        EXPECT_EQ(c.upgradeStarts, want == "upgraded" ? 1 : 0) << "nothing sent to a controller that is skipped";
        if (want == "upgraded") {
            EXPECT_EQ(c.portOsRevision, fileRevision.at(c.portOsType));
            EXPECT_EQ(fieldOf(r, c.serialNo, "PortOsRevision"), c.portOsRevision);
        }
    }
    EXPECT_NE(fieldOf(r, "30-00016", "detail").find("network password was not accepted"), std::string::npos);
    EXPECT_NE(r.err.find("upgrade: 21 done, 0 running, 0 waiting, 0 failed"), std::string::npos)
        << "progress on standard error of the 21 to upgrade:\n" << r.err;

    // Again, without the password: what was upgraded is current, nothing is sent twice, and
    // an encrypted controller is refused without its password.
    const Result again = run(fleet, args, 4);
    EXPECT_EQ(again.code, 1);
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        const std::string& before = expected[c.serialNo];
        const bool encrypted = c.serialNo == "30-00015" || c.serialNo == "30-00016";
        EXPECT_EQ(outcomeOf(again, c.serialNo), encrypted ? "refused" : before == "upgraded" ? "current" : before);
        EXPECT_LE(c.upgradeStarts, 1);
    }
    EXPECT_NE(fieldOf(again, "30-00015", "detail").find("no network password was given"), std::string::npos);
}

// A file older than the revision some controllers run: they are told newer with
// nothing sent, unless --allow-older asks for the downgrade, which is then told so.
TEST(NetctlUpgrade, AnOlderFileIsSentOnlyWithAllowOlderAndThenToldAsADowngrade) {
    auto fleet = zelmar::testing::startFleet({controllerOf(1, 3, "2.11"), controllerOf(2, 3, "2.9"),
                                              controllerOf(3, 3, "3.1.0"), controllerOf(4, 3, "3.0.4"),
                                              controllerOf(5, 3, "2.12")});
    QTemporaryDir dir;
    const std::string file = writeUpgradeFile(dir, 3, "2.12");
    const Result first = run(fleet, {file}, 4, {}, true);
    EXPECT_EQ(first.code, 0) << first.out << first.err;  // every controller needs nothing more
    const std::map<std::string, std::string> expected = {{"30-00001", "upgraded"}, {"30-00002", "upgraded"},
                                                         {"30-00003", "newer"},    {"30-00004", "newer"},
                                                         {"30-00005", "current"}};
    for (const auto& [serial, outcome] : expected)
        EXPECT_EQ(outcomeOf(first, serial), outcome) << serial;
    EXPECT_EQ(fieldOf(first, "30-00003", "detail"), "it runs 3.1.0, newer than the file's 2.12: nothing sent");
    EXPECT_EQ(fleet.controller("30-00003")->upgradeStarts, 0);
    EXPECT_EQ(fleet.controller("30-00004")->portOsRevision, "3.0.4");

    netctl::Options o;
    o.config = fleet.clientConfig();
    o.allowOlder = true;
    o.all = true;
    std::ostringstream out, err;
    EXPECT_EQ(netctl::run({"upgrade", file}, o, out, err), 0) << out.str() << err.str();
    for (const char* serial : {"30-00003", "30-00004"}) {
        EXPECT_NE(out.str().find(std::string(serial) + "  3     "), std::string::npos) << out.str();
        EXPECT_EQ(fleet.controller(serial)->portOsRevision, "2.12") << serial;
    }
    EXPECT_NE(out.str().find("3.1.0 -> 2.12  downgraded"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("5 controllers: 0 upgraded, 2 downgraded, 3 current, 0 no file"), std::string::npos)
        << out.str();
}

TEST(NetctlUpgrade, FilesAndArgumentsAreCheckedBeforeAnythingIsSent) {
    auto fleet = zelmar::testing::startFleet({controllerOf(1, 3, "3.1.0"), controllerOf(2, 5, "5.0")});
    QTemporaryDir dir, other;
    const std::string three = writeUpgradeFile(dir, 3, "3.2.0");
    const std::string alsoThree = writeUpgradeFile(other, 3, "3.3.0");
    QFile damaged(QDir(dir.path()).filePath("5.TcpIpPortOS"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not an upgrade file");
    damaged.close();
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{three, alsoThree, "30-00001"}, "are both for port OS type 3"},
        {{three, damaged.fileName().toStdString(), "30-00001"}, "is not a valid TCP/IP Port OS upgrade file"},
        {{QDir(dir.path()).filePath("7.TcpIpPortOS").toStdString(), "30-00001"}, "is not a valid"},
        {{three}, "needs the serial numbers"},
        {{"30-00001"}, "needs at least one upgrade FILE"},
        // Each argument that is neither a file nor a serial number is named, before any search.
        {{three, "nosuchfile"}, "nosuchfile is neither an upgrade file nor a serial number"},
        {{"nosuchfile", "30-00001"}, "nosuchfile is neither an upgrade file nor a serial number"},
        {{dir.path().toStdString(), "30-00001"}, " is a folder, not an upgrade file"},
    };
    for (const auto& c : cases) {
        const Result r = run(fleet, c.args);
        EXPECT_EQ(r.code, netctl::kExitUsage) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    // An argument that looks like a file's name but names none is a missing upgrade file,
    // not a serial number: with --all and with serial numbers alike.
    const std::string misspelt = QDir(dir.path()).filePath("3.TcpIpPortO").toStdString();
    for (const bool withAll : {false, true}) {
        const Result r = run(fleet, withAll ? std::vector<std::string>{three, misspelt}
                                            : std::vector<std::string>{three, "no-such-folder/5.TcpIpPortOS.bak", "30-00001"},
                             4, {}, withAll);
        EXPECT_EQ(r.code, netctl::kExitUsage) << r.err;
        EXPECT_NE(r.err.find("no upgrade file "), std::string::npos) << r.err;
    }
    netctl::Options all;
    all.config = fleet.clientConfig();
    all.all = true;
    std::ostringstream out, err;
    EXPECT_EQ(netctl::run({"upgrade", three, "30-00001"}, all, out, err), netctl::kExitUsage);
    EXPECT_NE(err.str().find("SERIAL... or --all, not both"), std::string::npos) << err.str();
    EXPECT_EQ(netctl::run({"search"}, all, out, err), netctl::kExitUsage);
    for (const auto& c : fleet.controllers())
        EXPECT_EQ(c.upgradeStarts, 0) << c.serialNo;
}

TEST(NetctlUpgrade, UnderLossWithDuplicatesEveryControllerIsUpgradedAndJobsBoundTheTransfers) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 12; ++n)
        site.push_back(controllerOf(n, 3, "3.1.0"));
    auto fleet = zelmar::testing::startFleet(site);
    fleet.setLossPercent(10);
    fleet.setDuplicatePercent(10);
    QTemporaryDir dir;
    const Result r = run(fleet, {writeUpgradeFile(dir, 3, "3.2.0", 60000)}, 3, {}, true, 8000);  // lookups may need many rounds
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.bySerial.size(), 12u);
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        EXPECT_EQ(c.portOsRevision, "3.2.0");
        EXPECT_EQ(c.upgradesApplied, 1);
        EXPECT_EQ(c.upgradeStarts, 1);
    }
    const std::vector<Transfer> transfers = transfersIn(fleet.log());
    ASSERT_EQ(transfers.size(), 12u);
    for (const Transfer& a : transfers)
        for (const Transfer& b : transfers)
            if (&a != &b && a.controller == b.controller) {
                EXPECT_FALSE(a.start < b.end && b.start < a.end) << "two transfers to " << a.controller;
            }
    const int most = mostAtOnce(transfers);
    EXPECT_LE(most, 3);
    EXPECT_GE(most, 2) << "the transfers ran one at a time";
}

// A lossy site where the first search misses one controller (its answers are lost
// while the others answer): --all must not end with exit 0 and that one behind.
TEST(NetctlUpgrade, AllDoesNotLeaveBehindAControllerTheFirstSearchMissed) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 8; ++n)
        site.push_back(controllerOf(n, 3, "3.1.0"));
    auto fleet = zelmar::testing::startFleet(site);
    fleet.setRestartMs(300);
    fleet.setLossPercent(20);
    const std::string missed = site[4].serialNo;
    fleet.setLoseNextReplies(missed, net::wire::MsgType::SearchReply, 1000000);
    QTemporaryDir dir;
    const std::string file = writeUpgradeFile(dir, 3, "3.2.0");
    Result r;
    std::thread ctl([&] { r = run(fleet, {file}, 4, {}, true, 8000); });
    // Its answers are heard again once the first transfer has started: after the first search.
    const auto started = [&] {
        const auto all = fleet.controllers();
        return std::any_of(all.begin(), all.end(), [](const sim::SimControllerState& c) { return c.upgradeStarts > 0; });
    };
    for (int waited = 0; waited < 60000 && !started(); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fleet.setLoseNextReplies(missed, net::wire::MsgType::SearchReply, 0);
    ctl.join();

    const auto behind = fleet.controller(missed).value();
    if (r.code == 0) {
        EXPECT_EQ(behind.portOsRevision, "3.2.0") << "exit 0 with a controller on the old revision";
        EXPECT_EQ(outcomeOf(r, missed), "upgraded") << r.out;
        EXPECT_NE(fieldOf(r, missed, "detail").find("found only by a search after the run"), std::string::npos);
    } else {
        EXPECT_NE(r.out.find(missed), std::string::npos) << "exit 1 without naming it\n" << r.out;
    }
    EXPECT_EQ(r.bySerial.size(), 8u) << r.out;
    for (const auto& c : fleet.controllers())
        EXPECT_LE(c.upgradesApplied, 1) << c.serialNo;
}

TEST(NetctlUpgrade, ARunKilledHalfWayIsFinishedByTheNextWithoutTransferringTwice) {
    std::vector<sim::SimControllerState> site;
    for (int n = 1; n <= 16; ++n)
        site.push_back(controllerOf(n, 3, "3.1.0"));
    auto fleet = zelmar::testing::startFleet(site);
    fleet.setDelayMs(2, 4);  // slow enough that the run is surely stopped before its end
    QTemporaryDir dir;
    const std::string file = writeUpgradeFile(dir, 3, "3.2.0", 200000);
    const QString client = QDir(dir.path()).filePath("client.json");
    fleet.writeClientConfig(client.toStdString());

    // The controllers by serial number: one killed just after its switch is silent while it
    // restarts, and a lookup by serial number waits for it where a search would not.
    std::vector<std::string> args = {file};
    QStringList arguments = {"upgrade", "--jobs", "2", QString::fromStdString(file)};
    for (const std::string& serial : serialsOf(fleet)) {
        args.push_back(serial);
        arguments << QString::fromStdString(serial);
    }
    QProcess ctl;
    QByteArray said;
    const bool halfWay =
        zelmar::testing::startUntilLine(ctl, QStringLiteral(ZELMAR_NETCTL_EXE), client, arguments, "8/16 ", said);
    ASSERT_TRUE(halfWay) << said.toStdString() << ctl.readAll().toStdString();
    ctl.kill();
    ASSERT_TRUE(ctl.waitForFinished(10000));

    std::map<std::string, int> startsBefore;
    std::set<std::string> switchedBefore;
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        // Never half-switched: the old port OS or the new one, switched once at most.
        EXPECT_TRUE(c.portOsRevision == "3.1.0" || c.portOsRevision == "3.2.0") << c.portOsRevision;
        EXPECT_LE(c.upgradesApplied, 1);
        startsBefore[c.serialNo] = c.upgradeStarts;
        if (c.portOsRevision == "3.2.0")
            switchedBefore.insert(c.serialNo);
    }
    ASSERT_GE(switchedBefore.size(), 8u);
    ASSERT_LT(switchedBefore.size(), 16u) << "the run was not interrupted";

    fleet.setDelayMs(0, 0);
    const Result again = run(fleet, args, 2);
    ASSERT_EQ(again.code, 0) << again.out << again.err;
    ASSERT_EQ(again.bySerial.size(), 16u);
    for (const auto& c : fleet.controllers()) {
        SCOPED_TRACE(c.serialNo);
        EXPECT_EQ(c.portOsRevision, "3.2.0");
        EXPECT_EQ(c.upgradesApplied, 1) << "switched twice";
        if (switchedBefore.count(c.serialNo)) {
            EXPECT_EQ(c.upgradeStarts, startsBefore[c.serialNo]) << "transferred again after it was upgraded";
        }
        EXPECT_EQ(outcomeOf(again, c.serialNo), switchedBefore.count(c.serialNo) ? "current" : "upgraded");
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
