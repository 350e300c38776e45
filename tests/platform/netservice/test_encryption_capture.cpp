// The capture check: every datagram exchanged on loopback while setups set a
// known encryption password and known settings on encrypting controllers is
// recorded, and neither the password (in any form we know of) nor the new
// settings nor the keys derived from the password appear in any of them.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/netservice/controller_entry.h"
#include "test_encryption_helpers.h"

namespace zelmar::testing {
namespace {

struct Needle {
    std::string what;
    std::string bytes;
};

std::string utf16le(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string ipBytes(const std::string& dotted) {
    const std::uint32_t a = *net::ipv4::parse(dotted);
    return std::string{char(a >> 24), char((a >> 16) & 0xFF), char((a >> 8) & 0xFF), char(a & 0xFF)};
}

std::string raw(const net::crypto::Key& k) { return std::string(k.begin(), k.end()); }

// Which needles appear in which recorded datagrams.
std::vector<std::string> findInCapture(const std::vector<Recorder::Datagram>& capture, const std::vector<Needle>& needles) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < capture.size(); ++i) {
        const auto& b = capture[i].bytes;
        for (const Needle& n : needles)
            if (std::search(b.begin(), b.end(), n.bytes.begin(), n.bytes.end()) != b.end())
                found.push_back(n.what + " in datagram " + std::to_string(i) + (capture[i].incoming ? " (request)" : " (reply)"));
    }
    return found;
}

TEST(EncryptionCapture, NeitherThePasswordNorTheNewSettingsCrossTheNetworkInClear) {
    const auto a = secureController(1, "Old-Capture-Pw-31");  // already encrypting: the password changes
    const auto b = secureController(2, "");                    // switches encryption on
    RecordedFleet site({a, b});
    auto& [fleet, rec, service] = site;
    service.setPassword("Old-Capture-Pw-31");
    service.Search();
    ASSERT_EQ(service.ControllerCount(), 2);

    const std::string newPassword = "Kn0wn-Capture-Pw-7391";
    // B: fixed settings, as the setup command writes them, and encryption on.
    {
        auto e = find(service, b.serialNo);
        ASSERT_TRUE(e);
        e->setName("CaptureName-5521");
        e->setDescription("CaptureDescription-8830");
        e->setUseDhcp(false);
        e->setMainComputerAddress("capture-main-4417.plant.test");
        e->setConfigIpAddress("10.50.77.41");
        e->setConfigSubnetMask("255.255.0.0");
        e->setConfigGateway("10.50.0.9");
        e->setConfigDnsServer("10.50.0.7");
        ASSERT_TRUE(switchEncryptionOn(*e, newPassword));
    }
    // A: DHCP with a DNS name, and a new password.
    {
        auto e = find(service, a.serialNo);
        ASSERT_TRUE(e && e->PasswordOk());
        e->setName("CaptureOther-6612");
        e->setDescription("CaptureOtherDescription-1204");
        e->setUseDhcp(true);
        e->setDnsName("capture-dns-9953.plant.test");
        e->setMainComputerAddress("10.50.88.12");
        ASSERT_TRUE(switchEncryptionOn(*e, newPassword));
    }
    const auto capture = rec.all();
    rec.clear();

    // The setups did happen, with these values.
    const auto sa = *fleet.controller(a.serialNo), sb = *fleet.controller(b.serialNo);
    ASSERT_EQ(sb.name, "CaptureName-5521");
    ASSERT_EQ(sb.ipAddress, "10.50.77.41");
    ASSERT_TRUE(sb.requireEncryption);
    ASSERT_EQ(sa.dnsName, "capture-dns-9953.plant.test");
    ASSERT_TRUE(sa.useDhcp);
    const auto keyA = net::crypto::controllerKeyFromPassword(newPassword, macOf(a));
    const auto keyB = net::crypto::controllerKeyFromPassword(newPassword, macOf(b));
    ASSERT_EQ(sa.encryptionKey, net::crypto::toHex(keyA));
    ASSERT_EQ(sb.encryptionKey, net::crypto::toHex(keyB));

    const std::vector<Needle> needles = {
        {"the password", newPassword},
        {"the password (UTF-16)", utf16le(newPassword)},
        {"the old password", "Old-Capture-Pw-31"},
        {"the master key", raw(net::crypto::masterKey(newPassword))},
        {"the key of A", raw(keyA)},
        {"the key of B", raw(keyB)},
        {"the key of A (hex)", net::crypto::toHex(keyA)},
        {"name B", "CaptureName-5521"},
        {"description B", "CaptureDescription-8830"},
        {"main computer B", "capture-main-4417"},
        {"address B (text)", "10.50.77.41"},
        {"address B (binary)", ipBytes("10.50.77.41")},
        {"gateway B", "10.50.0.9"},
        {"DNS server B", "10.50.0.7"},
        {"name A", "CaptureOther-6612"},
        {"description A", "CaptureOtherDescription-1204"},
        {"DNS name A", "capture-dns-9953"},
        {"main computer A", "10.50.88.12"},
    };
    const auto found = findInCapture(capture, needles);
    EXPECT_TRUE(found.empty()) << ::testing::PrintToString(found);

    // What was recorded: the searches, the reads, both checks and both setups with their answers.
    int checks = 0, setups = 0, sealedOut = 0;
    for (const auto& d : capture) {
        if (d.bytes.size() < wire::kHeaderSize)
            continue;
        const auto type = wire::MsgType(d.bytes[5]);
        const bool sealed = net::crypto::isSealed(d.bytes.data(), d.bytes.size());
        if (d.incoming && type == wire::MsgType::CheckNetwork && sealed)
            ++checks;
        if (d.incoming && type == wire::MsgType::Setup && sealed)
            ++setups;
        if (!d.incoming && sealed)
            ++sealedOut;
    }
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(setups, 2);
    EXPECT_GE(sealedOut, 5);  // read of A, the checks' and the setups' answers
    EXPECT_GE(capture.size(), 10u);
}

TEST(EncryptionCapture, TheScanFindsSettingsThatDoTravelInClear) {
    // The same scan on a setup of a controller that stays without encryption: it must see them.
    const auto c = secureController(3, "");
    RecordedFleet site({c});
    auto& [fleet, rec, service] = site;
    service.Search();
    auto e = find(service, c.serialNo);
    ASSERT_TRUE(e);
    e->setName("Visible-Control-Name");
    e->setConfigIpAddress("10.50.66.23");
    e->setConfigSubnetMask("255.255.0.0");
    e->setEncryptionPassword("Never-Sent-Pw-12");  // encryption stays off: not used, not sent
    e->setApply(true);
    ASSERT_TRUE(e->SetupOk());
    const auto found = findInCapture(rec.all(), {{"name", "Visible-Control-Name"},
                                                 {"address (text)", "10.50.66.23"},
                                                 {"address (binary)", ipBytes("10.50.66.23")},
                                                 {"password", "Never-Sent-Pw-12"}});
    auto seen = [&found](const std::string& what) {
        return std::any_of(found.begin(), found.end(), [&](const std::string& f) { return f.rfind(what + " in", 0) == 0; });
    };
    EXPECT_TRUE(seen("name")) << ::testing::PrintToString(found);
    EXPECT_TRUE(seen("address (text)"));
    EXPECT_TRUE(seen("address (binary)"));
    EXPECT_FALSE(seen("password"));
}

}  // namespace
}  // namespace zelmar::testing
