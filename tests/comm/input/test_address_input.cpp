// What the technician types: the find-more input (address and subnet mask) and the DNS name.
#include <gtest/gtest.h>

#include "comm/input/address_input.h"
#include "comm/input/dns_name.h"

namespace zelmar::comm {
namespace {

TEST(FindMoreInput, SplitsAtTheFirstSlashOnly) {
    struct Case {
        const char* typed;
        const char* address;
        const char* mask;
    };
    const Case cases[] = {
        {"127.79.9.4", "127.79.9.4", ""},
        {"127.79.9.0/255.255.255.0", "127.79.9.0", "255.255.255.0"},
        {"127.79.9.4/", "127.79.9.4", ""},
        {"/255.255.255.0", "", "255.255.255.0"},
        {"a/b/c", "a", "b/c"},
        {"", "", ""},
        {"localhost", "localhost", ""},
    };
    for (const Case& c : cases) {
        const AddressInput input = splitAddressInput(QString::fromLatin1(c.typed));
        EXPECT_EQ(input.address, QString::fromLatin1(c.address)) << c.typed;
        EXPECT_EQ(input.mask, QString::fromLatin1(c.mask)) << c.typed;
    }
}

TEST(FindMoreInput, AnEntryMatchesByMaskDnsNameOrAddressAnEmptyMaskWithNoSlashTyped) {
    const AddressInput typed = splitAddressInput(QStringLiteral("127.79.9.4"));
    EXPECT_TRUE(entryMatchesInput(typed, QString(), QStringLiteral("other"), QStringLiteral("127.79.9.9")));
    EXPECT_FALSE(entryMatchesInput(typed, QStringLiteral("255.255.0.0"), QStringLiteral("other"), QStringLiteral("127.79.9.9")));
    EXPECT_TRUE(entryMatchesInput(typed, QStringLiteral("255.255.0.0"), QString(), QStringLiteral("127.79.9.4")));
    EXPECT_TRUE(entryMatchesInput(splitAddressInput(QStringLiteral("unit4")), QStringLiteral("255.255.0.0"),
                                  QStringLiteral("unit4"), QString()));
    const AddressInput withMask = splitAddressInput(QStringLiteral("127.79.9.0/255.255.255.0"));
    EXPECT_TRUE(entryMatchesInput(withMask, QStringLiteral("255.255.255.0"), QString(), QStringLiteral("127.79.1.1")));
    EXPECT_FALSE(entryMatchesInput(withMask, QString(), QString(), QStringLiteral("127.79.1.1")));
}

TEST(DnsName, SplitsAtTheFirstDotAndJoinsWithADotOnlyBetweenTwoParts) {
    struct Case {
        const char* name;
        const char* host;
        const char* domain;
    };
    const Case cases[] = {
        {"ctrl.site.example", "ctrl", "site.example"},
        {"ctrl", "ctrl", ""},
        {"", "", ""},
        {".example", "", "example"},
        {"ctrl.", "ctrl", ""},
    };
    for (const Case& c : cases) {
        const DnsNameParts parts = SplitDnsName(QString::fromLatin1(c.name));
        EXPECT_EQ(parts.hostName, QString::fromLatin1(c.host)) << c.name;
        EXPECT_EQ(parts.domain, QString::fromLatin1(c.domain)) << c.name;
    }
    EXPECT_EQ(JoinDnsName("boiler2", "plant.example"), "boiler2.plant.example");
    EXPECT_EQ(JoinDnsName("boiler2", ""), "boiler2");
    EXPECT_EQ(JoinDnsName("", "plant.example"), "plant.example");
    EXPECT_EQ(JoinDnsName(" a ", "b."), " a .b.");  // nothing trimmed or checked
}

}  // namespace
}  // namespace zelmar::comm
