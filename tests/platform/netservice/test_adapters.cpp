// Where a search goes on a real site: the "adapters" target made from the
// workstation's adapters, the loopback guard over it, and which configuration
// file a program takes. Nothing here sends outside 127.0.0.0/8.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include "platform/netservice/search/adapters.h"
#include "platform/netservice/config/config_lookup.h"
#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"
#include "platform/netservice/config/service_config.h"
#include "tests/platform/ui/env_guard.h"

namespace zelmar::net {
namespace {

std::uint32_t ip(const char* text) { return *ipv4::parse(text); }

Adapter adapter(const char* name, unsigned index, const char* address, const char* mask) {
    Adapter a;
    a.name = a.displayName = name;
    a.index = index;
    a.up = a.running = a.canBroadcast = true;
    a.ipv4.push_back({ip(address), ip(mask), 0});
    return a;
}

TEST(AdapterTargets, EveryUsableAdapterGivesItsDirectedBroadcastAndTheLimitedOneThroughIt) {
    Adapter site = adapter("eth0", 2, "192.0.2.10", "255.255.255.0");
    site.ipv4.front().broadcast = ip("192.0.2.255");
    Adapter second = adapter("eth1", 3, "198.51.100.7", "255.255.254.0");  // no broadcast reported: from the mask
    second.ipv4.push_back({ip("203.0.113.9"), ip("255.255.255.0"), ip("203.0.113.255")});
    const Adapter cable = adapter("usb0", 4, "169.254.33.1", "255.255.0.0");
    Adapter down = adapter("wlan0", 5, "203.0.113.50", "255.255.255.0");
    down.up = false;
    Adapter pointToPoint = adapter("tun0", 6, "10.8.0.2", "255.255.255.0");
    pointToPoint.canBroadcast = false;
    Adapter loopback = adapter("lo", 1, "127.0.0.1", "255.0.0.0");
    loopback.loopback = true;
    const Adapter onlyLoopbackAddress = adapter("dummy0", 7, "127.9.0.1", "255.255.255.0");
    Adapter noIpv4 = adapter("eth2", 8, "0.0.0.0", "0.0.0.0");
    noIpv4.ipv4.clear();
    const Adapter host32 = adapter("eth3", 9, "192.0.2.99", "255.255.255.255");  // no broadcast address of its own

    TargetSet targets;
    addAdapterTargets({site, second, cable, down, pointToPoint, loopback, onlyLoopbackAddress, noIpv4, host32}, targets);
    EXPECT_EQ(targets.addresses, (std::vector<std::uint32_t>{ip("192.0.2.255"), ip("198.51.101.255"),
                                                              ip("203.0.113.255"), ip("169.254.255.255")}));
    EXPECT_EQ(targets.limitedBroadcastVia, (std::vector<unsigned>{2, 3, 4, 9}));

    EXPECT_EQ(whyNotSearched(site), "");
    EXPECT_EQ(whyNotSearched(down), "down");
    EXPECT_EQ(whyNotSearched(pointToPoint), "cannot broadcast");
    EXPECT_EQ(whyNotSearched(loopback), "loopback");
    EXPECT_EQ(whyNotSearched(onlyLoopbackAddress), "no IPv4 address outside 127.0.0.0/8");
    EXPECT_EQ(whyNotSearched(noIpv4), "no IPv4 address outside 127.0.0.0/8");
}

TEST(AdapterTargets, TheWorkstationsLoopbackAdapterIsListedAndNeverSearched) {
    const auto adapters = listAdapters();
    const auto lo = std::find_if(adapters.begin(), adapters.end(), [](const Adapter& a) {
        return std::any_of(a.ipv4.begin(), a.ipv4.end(),
                           [](const AdapterAddress& x) { return x.address == 0x7F000001u; });
    });
    ASSERT_NE(lo, adapters.end());
    EXPECT_FALSE(searchesThrough(*lo));
    TargetSet targets;
    addAdapterTargets(adapters, targets);
    for (std::uint32_t a : targets.addresses)
        EXPECT_FALSE(ipv4::isLoopback(a)) << ipv4::format(a);
}

// Under the loopback guard the "adapters" target sends nothing at all: every
// broadcast it stands for is counted as dropped.
TEST(AdapterTargets, TheLoopbackGuardDropsEveryBroadcastOfTheAdaptersTarget) {
    ServiceConfig config;
    config.searchTargets = {kAdaptersTarget};
    config.firstAnswerWaitMs = 30;
    config.retransmitMs = 10;
    config.answerSpreadMs = 0;
    ASSERT_FALSE(config.allowNonLoopback);
    NetService service(config);
    service.Search();
    EXPECT_EQ(service.core().stats().datagramsSent, 0u);
    TargetSet targets;
    addAdapterTargets(listAdapters(), targets);
    const std::size_t perRound = targets.addresses.size() + targets.limitedBroadcastVia.size();
    EXPECT_EQ(service.core().stats().datagramsDropped, perRound * service.core().stats().searchRounds);
    EXPECT_EQ(service.ControllerCount(), 0);
}

class ConfigLookup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid() && data_.isValid());
        env_.unset("ZELMAR_NETSERVICE_CONFIG");
        // The user's configuration folder on Linux and on Windows.
        env_.set("XDG_CONFIG_HOME", QFile::encodeName(home_.path()));
        env_.set("APPDATA", QFile::encodeName(QDir::toNativeSeparators(home_.path())));
        env_.set("ZELMAR_DATA_DIR", QFile::encodeName(data_.path()));
    }
    static std::string write(const QString& path, int port) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("{\"port\": ") + QByteArray::number(port) + "}");
        return QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString();
    }
    testing::EnvGuard env_;
    QTemporaryDir home_;
    QTemporaryDir data_;
};

TEST_F(ConfigLookup, TheVariableThenTheUsersFileThenTheInstalledOneThenTheDefaults) {
    EXPECT_EQ(findServiceConfig().kind, ConfigSource::Kind::Defaults);
    EXPECT_EQ(ServiceConfig::fromEnvironment().port, ServiceConfig{}.port);
    EXPECT_TRUE(ServiceConfig::fromEnvironment().searchTargets.empty());

    const std::string installed = write(data_.filePath("netservice.json"), 1001);
    EXPECT_EQ(installedConfigPath(), installed);
    EXPECT_EQ(findServiceConfig().kind, ConfigSource::Kind::Installed);
    EXPECT_EQ(ServiceConfig::fromEnvironment().port, 1001);

    const std::string user = write(home_.filePath("zelmar/netservice.json"), 1002);
    EXPECT_EQ(userConfigPath(), user);
    EXPECT_EQ(findServiceConfig().path, user);
    EXPECT_EQ(ServiceConfig::fromEnvironment().port, 1002);

    const std::string named = write(home_.filePath("other.json"), 1003);
    env_.set("ZELMAR_NETSERVICE_CONFIG", QFile::encodeName(QString::fromStdString(named)));
    EXPECT_EQ(findServiceConfig().kind, ConfigSource::Kind::Variable);
    EXPECT_EQ(ServiceConfig::fromEnvironment().port, 1003);

    // A file named by the variable must be there: no quiet fall-back to another one.
    env_.set("ZELMAR_NETSERVICE_CONFIG", QFile::encodeName(home_.filePath("missing.json")));
    EXPECT_THROW(ServiceConfig::fromEnvironment(), std::runtime_error);
}

}  // namespace
}  // namespace zelmar::net
