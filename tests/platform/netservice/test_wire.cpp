// The wire format and the address helpers: encodings, limits, and that the
// parser refuses every malformed datagram without reading outside it.
#include <gtest/gtest.h>

#include <random>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/wire/messages.h"
#include "platform/netservice/wire/wire.h"

using namespace zelmar::net;

TEST(Ipv4, ParsesStrictDottedQuads) {
    EXPECT_EQ(ipv4::parse("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(ipv4::parse("0.0.0.0"), 0u);
    EXPECT_EQ(ipv4::parse("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "01.2.3.4", "1..2.3",
                            "a.b.c.d", "1.2.3.-4", "1.2.3.4/24", "1234.1.1.1"})
        EXPECT_FALSE(ipv4::parse(bad)) << bad;
    EXPECT_EQ(ipv4::format(0x0A140105u), "10.20.1.5");
}

TEST(Ipv4, MasksAndTargets) {
    EXPECT_EQ(ipv4::prefixLength(0xFFFFFC00u), 22);
    EXPECT_EQ(ipv4::prefixLength(0u), 0);
    EXPECT_FALSE(ipv4::prefixLength(0xFF00FF00u));
    EXPECT_EQ(ipv4::parseMask("255.255.255.0"), 0xFFFFFF00u);
    EXPECT_EQ(ipv4::parseMask("24"), 0xFFFFFF00u);
    EXPECT_EQ(ipv4::parseMask("/16"), 0xFFFF0000u);
    EXPECT_FALSE(ipv4::parseMask("255.0.255.0"));
    EXPECT_FALSE(ipv4::parseMask("33"));
    EXPECT_FALSE(ipv4::parseMask("x"));

    const auto range = ipv4::expandTarget("127.77.0.254-127.77.1.2", 100);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->size(), 5u);
    const auto net = ipv4::expandTarget("127.9.0.0/24", 1000);
    ASSERT_TRUE(net);
    EXPECT_EQ(net->size(), 254u);  // without network and broadcast address
    EXPECT_EQ(net->front(), 0x7F090001u);
    EXPECT_FALSE(ipv4::expandTarget("127.0.0.0/8", 65536));  // over the limit
    EXPECT_FALSE(ipv4::expandTarget("127.0.0.9-127.0.0.1", 100));
    EXPECT_FALSE(ipv4::expandTarget("nonsense", 100));
}

TEST(Wire, RoundTripsAControllerInfo) {
    wire::ControllerInfo info;
    info.serialNo = "10-00042";
    info.ethernet = {0, 0x1A, 0x4C, 1, 2, 3};
    info.name = "Värmecentral 3";
    info.description = "Hus 3";
    info.ipAddress = 0x0A140105;
    info.subnetMask = 0xFFFF0000;
    info.useDhcp = true;
    info.capabilities = 8;
    info.modelCode = -2;
    info.portOsType = 5;
    info.portOsRevision = "3.1.0";
    wire::Message m;
    m.type = wire::MsgType::SearchReply;
    m.requestId = 0xDEADBEEF;
    wire::putControllerInfo(m, info);
    const auto bytes = wire::encode(m);
    ASSERT_FALSE(bytes.empty());
    EXPECT_LE(bytes.size(), wire::kMaxSendDatagram);
    // Header: magic, version, type, flags, request id (big-endian), body length, reserved.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "ZLNP");
    EXPECT_EQ(bytes[4], 1);
    EXPECT_EQ(bytes[5], 0x81);
    EXPECT_EQ(bytes[8], 0xDE);
    EXPECT_EQ(bytes[11], 0xEF);
    EXPECT_EQ((bytes[12] << 8 | bytes[13]), int(bytes.size() - 16));

    wire::Message back;
    ASSERT_EQ(wire::decode(bytes.data(), bytes.size(), back), wire::DecodeError::None);
    EXPECT_EQ(back.requestId, 0xDEADBEEFu);
    wire::ControllerInfo got;
    ASSERT_TRUE(wire::readControllerInfo(back, got));
    EXPECT_EQ(got.serialNo, info.serialNo);
    EXPECT_EQ(got.name, info.name);
    EXPECT_EQ(got.ethernet, info.ethernet);
    EXPECT_EQ(got.ipAddress, info.ipAddress);
    EXPECT_TRUE(got.useDhcp);
    EXPECT_EQ(got.modelCode, -2);
    EXPECT_EQ(got.portOsRevision, "3.1.0");
}

TEST(Wire, RefusesMalformedHeadersAndItems) {
    wire::Message m;
    m.type = wire::MsgType::Search;
    m.requestId = 7;
    m.add(wire::TagSerialFilter, "10-00001");
    const auto good = wire::encode(m);
    wire::Message out;
    ASSERT_EQ(wire::decode(good.data(), good.size(), out), wire::DecodeError::None);

    auto mutate = [&](auto change) {
        auto b = good;
        change(b);
        return wire::decode(b.data(), b.size(), out);
    };
    EXPECT_EQ(mutate([](auto& b) { b.resize(10); }), wire::DecodeError::TooShort);
    EXPECT_EQ(mutate([](auto& b) { b[0] = 'X'; }), wire::DecodeError::BadMagic);
    EXPECT_EQ(mutate([](auto& b) { b[4] = 2; }), wire::DecodeError::BadVersion);
    EXPECT_EQ(mutate([](auto& b) { b[5] = 0x7E; }), wire::DecodeError::UnknownType);
    EXPECT_EQ(mutate([](auto& b) { b[7] = 0x80; }), wire::DecodeError::Reserved);
    EXPECT_EQ(mutate([](auto& b) { b[15] = 1; }), wire::DecodeError::Reserved);
    EXPECT_EQ(mutate([](auto& b) { b[7] = 0x01; }), wire::DecodeError::Sealed);
    EXPECT_EQ(mutate([](auto& b) { b[13] += 1; }), wire::DecodeError::BadLength);  // lying body length
    EXPECT_EQ(mutate([](auto& b) { b.push_back(0); }), wire::DecodeError::BadLength);
    // An item whose length runs past the end, with the body length adjusted to match.
    EXPECT_EQ(mutate([](auto& b) { b[19] = 200; }), wire::DecodeError::BadItem);
    EXPECT_EQ(mutate([](auto& b) {
                  b.insert(b.end(), {0x00, 0x02, 0x00, 0x00});  // the same tag again
                  b[13] += 4;
              }),
              wire::DecodeError::DuplicateItem);
    EXPECT_EQ(mutate([](auto& b) {
                  b.insert(b.end(), {0x80, 0x99, 0x00, 0x00});  // unknown critical tag
                  b[13] += 4;
              }),
              wire::DecodeError::UnknownCritical);
    // An unknown optional tag is skipped.
    EXPECT_EQ(mutate([](auto& b) {
                  b.insert(b.end(), {0x01, 0x99, 0x00, 0x01, 0x42});
                  b[13] += 5;
              }),
              wire::DecodeError::None);
    std::vector<std::uint8_t> huge(wire::kMaxDatagram + 1, 0);
    EXPECT_EQ(wire::decode(huge.data(), huge.size(), out), wire::DecodeError::TooLong);
}

TEST(Wire, RandomBytesNeverDecodeOutOfBounds) {
    std::mt19937 rng(99);
    wire::Message m;
    m.type = wire::MsgType::Setup;
    m.add(wire::TagName, "x");
    const auto base = wire::encode(m);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint8_t> b = base;
        b.resize(rng() % 64);
        for (std::size_t k = 0; k < b.size(); ++k)
            if (k >= 16 || rng() % 4 == 0)
                b[k] = std::uint8_t(rng());
        wire::Message out;
        if (wire::decode(b.data(), b.size(), out) == wire::DecodeError::None) {
            ++accepted;
            wire::SetupFields f;
            wire::readSetupFields(out, f);
            wire::ControllerInfo info;
            wire::readControllerInfo(out, info);
        }
    }
    EXPECT_LT(accepted, 20000);  // most garbage is refused (run under ASan by the fuzz build as well)
}

TEST(Wire, TextChecks) {
    EXPECT_TRUE(wire::isCleanUtf8("Lüftung Nord"));
    EXPECT_TRUE(wire::isCleanUtf8(""));
    EXPECT_FALSE(wire::isCleanUtf8("a\nb"));
    EXPECT_FALSE(wire::isCleanUtf8("\xC3"));            // truncated sequence
    EXPECT_FALSE(wire::isCleanUtf8("\xC0\xAF"));        // overlong
    EXPECT_FALSE(wire::isCleanUtf8("\xED\xA0\x80"));    // surrogate
    EXPECT_FALSE(wire::isCleanUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF

    wire::Message m;
    m.add(wire::TagName, std::string(65, 'n'));
    wire::SetupFields f;
    EXPECT_EQ(wire::readSetupFields(m, f), wire::TagName);
    wire::Message ok;
    ok.add(wire::TagName, std::string(64, 'n'));
    ok.addU8(wire::TagUseDhcp, 1);
    EXPECT_EQ(wire::readSetupFields(ok, f), 0);
    EXPECT_EQ(f.name->size(), 64u);
    EXPECT_TRUE(*f.useDhcp);
    wire::Message badBool;
    badBool.addU8(wire::TagUseDhcp, 7);
    EXPECT_EQ(wire::readSetupFields(badBool, f), wire::TagUseDhcp);
}

TEST(Wire, SerialFiltersMatchByValueElseByText) {
    // The spellings of one value are the support library's parser's (tested there).
    EXPECT_TRUE(wire::serialMatches(" 10-42", "1000042"));
    EXPECT_FALSE(wire::serialMatches("10-00043", "10-00042"));
    EXPECT_TRUE(wire::serialMatches("LAB-7", " LAB-7"));  // no serial value: same text
    EXPECT_FALSE(wire::serialMatches("LAB-7", "LAB-8"));
    EXPECT_EQ(wire::parseEthernet("00:1a:4c:00:00:01"), (wire::Ethernet{0, 0x1A, 0x4C, 0, 0, 1}));
    EXPECT_FALSE(wire::parseEthernet("00-1A-4C-00-00"));
    EXPECT_EQ(wire::formatEthernet({0, 0x1A, 0x4C, 0, 0, 1}), "00-1A-4C-00-00-01");
}
