// The fleet file and the generator.
#include <gtest/gtest.h>

#include <set>

#include "platform/netservice/wire/ipv4.h"
#include "simulator/fleet_file.h"

using namespace zelmar::sim;

TEST(FleetFile, ReadsAndWritesTheDocumentedFormat) {
    const std::string json = R"({
      "controllers": [
        {"serialNo": "10-00001", "ethernetAddress": "00-1A-4C-00-00-00", "address": "127.77.0.1",
         "name": "Boiler 1", "useDhcp": false, "ipAddress": "10.20.1.3", "subnetMask": "255.255.0.0",
         "gateway": "10.20.0.1", "capabilities": 8, "modelCode": 101, "portOsType": 3,
         "portOsRevision": "2.11", "connected": true, "attachedNetwork": "10.20.0.0/16"},
        {"serialNo": "10-00002", "ethernetAddress": "00:1a:4c:00:00:01", "address": "127.77.0.2", "useDhcp": true,
         "answerTiming": false}
      ],
      "faults": {"lossPercent": 5, "delayMinMs": 1, "delayMaxMs": 3}
    })";
    const FleetData f = parseFleet(json);
    ASSERT_EQ(f.controllers.size(), 2u);
    const auto& a = f.controllers[0];
    EXPECT_EQ(a.name, "Boiler 1");
    EXPECT_EQ(a.configIpAddress, "10.20.1.3");  // a fixed controller runs with its configured settings
    EXPECT_EQ(a.capabilities, 8u);
    EXPECT_TRUE(a.connected);
    EXPECT_TRUE(a.answerTiming);  // unless it is an older controller, as the second is
    EXPECT_FALSE(f.controllers[1].answerTiming);
    EXPECT_EQ(f.controllers[1].configIpAddress, "0.0.0.0");
    EXPECT_EQ(f.faults.lossPercent, 5);
    EXPECT_EQ(f.faults.delayMaxMs, 3);

    const FleetData back = parseFleet(fleetToJson(f));
    ASSERT_EQ(back.controllers.size(), 2u);
    EXPECT_EQ(back.controllers[0].attachedNetwork, "10.20.0.0/16");
    EXPECT_EQ(back.controllers[0].portOsRevision, "2.11");
    EXPECT_EQ(back.controllers[1].useDhcp, true);
    EXPECT_EQ(back.faults.delayMinMs, 1);
    EXPECT_EQ(fleetToJson(back), fleetToJson(f));  // every field written is read back under the same name
}

TEST(FleetFile, RefusesWhatCannotRun) {
    auto one = [](const std::string& fields) {
        return R"({"controllers":[{"serialNo":"10-00001","ethernetAddress":"00-1A-4C-00-00-00",)" + fields + "}]}";
    };
    EXPECT_NO_THROW(parseFleet(one(R"("address":"127.77.0.1")")));
    EXPECT_THROW(parseFleet(one(R"("address":"10.0.0.1")")), std::runtime_error);  // off loopback
    EXPECT_THROW(parseFleet(one(R"("address":"127.77.0.1","ipAddress":"10.1.2")")), std::runtime_error);
    EXPECT_THROW(parseFleet(one(R"("address":"127.77.0.1","useDhcp":"yes")")), std::runtime_error);
    EXPECT_THROW(parseFleet(one(R"("address":"127.77.0.1","attachedNetwork":"10.0.0.0")")), std::runtime_error);
    EXPECT_THROW(parseFleet(one(R"("address":"127.77.0.1","name":")" + std::string(65, 'n') + "\"")),
                 std::runtime_error);
    EXPECT_THROW(parseFleet(R"({"controllers":[
        {"serialNo":"1","ethernetAddress":"00-1A-4C-00-00-00","address":"127.77.0.1"},
        {"serialNo":"2","ethernetAddress":"00-1A-4C-00-00-00","address":"127.77.0.2"}]})"),
                 std::runtime_error);  // one Ethernet address twice
    EXPECT_THROW(parseFleet("[]"), std::runtime_error);
    EXPECT_THROW(parseFleet("{\"controllers\": 3}"), std::runtime_error);
    EXPECT_THROW(parseFleet(R"({"controllers":[],"faults":{"lossPercent":120}})"), std::runtime_error);
}

// A text a controller could not send in an answer (control characters, NUL)
// is refused with the controller and the field named.
TEST(FleetFile, RefusesTextsTheProtocolDoesNotCarry) {
    const auto refusal = [](const std::string& json) {
        try {
            parseFleet(json);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    const std::string head = R"({"controllers":[{"serialNo":"10-00001","ethernetAddress":"00-1A-4C-00-00-00","address":"127.77.0.1"},
        {"serialNo":"10-00002","ethernetAddress":"00-1A-4C-00-00-01","address":"127.77.0.2",)";
    std::string why = refusal(head + R"("name":"Pump\u0007hall"}]})");
    EXPECT_NE(why.find("controller 2, 10-00002: name holds a control character"), std::string::npos) << why;
    why = refusal(head + R"("description":"a\u0000b"}]})");
    EXPECT_NE(why.find("10-00002: description"), std::string::npos) << why;
    why = refusal(head + R"("portOsRevision":"3.1\u009b"}]})");
    EXPECT_NE(why.find("10-00002: portOsRevision"), std::string::npos) << why;
    why = refusal(R"({"controllers":[{"serialNo":"10-0\u000a1","ethernetAddress":"00-1A-4C-00-00-00","address":"127.77.0.1"}]})");
    EXPECT_NE(why.find("controller 1, serialNo holds a control character"), std::string::npos) << why;
    why = refusal("[]");
    EXPECT_NE(why.find("a list, not an object"), std::string::npos) << why;
}

TEST(FleetFile, GeneratedFleetsVary) {
    GenerateOptions o;
    o.connected = 2;
    const FleetData f = generateFleet(300, o);
    ASSERT_EQ(f.controllers.size(), 300u);
    std::set<std::string> macs, addresses, serials, names;
    std::set<int> models, portTypes;
    int dhcp = 0, unnamed = 0, connected = 0, noAddress = 0, encryption = 0, nonAscii = 0;
    for (const auto& c : f.controllers) {
        macs.insert(c.ethernetAddress);
        addresses.insert(c.address);
        serials.insert(c.serialNo);
        names.insert(c.name);
        models.insert(c.modelCode);
        portTypes.insert(c.portOsType);
        dhcp += c.useDhcp;
        unnamed += c.name.empty();
        connected += c.connected;
        noAddress += c.ipAddress == "0.0.0.0";
        encryption += (c.capabilities & 8) != 0;
        for (unsigned char ch : c.name)
            if (ch >= 0x80) {
                ++nonAscii;
                break;
            }
        const auto a = zelmar::net::ipv4::parse(c.address);
        ASSERT_TRUE(a);
        EXPECT_TRUE(zelmar::net::ipv4::isLoopback(*a));
        EXPECT_NE(*a & 0xFF, 0u);
        EXPECT_NE(*a & 0xFF, 255u);
    }
    EXPECT_EQ(macs.size(), 300u);
    EXPECT_EQ(addresses.size(), 300u);
    EXPECT_EQ(serials.size(), 300u);
    EXPECT_GT(names.size(), 50u);
    EXPECT_GE(models.size(), 3u);
    EXPECT_GE(portTypes.size(), 3u);
    EXPECT_GT(dhcp, 50);
    EXPECT_LT(dhcp, 250);
    EXPECT_GT(unnamed, 0);
    EXPECT_EQ(connected, 2);
    EXPECT_EQ(noAddress, 1);
    EXPECT_GT(encryption, 0);
    EXPECT_LT(encryption, 300);
    EXPECT_GT(nonAscii, 0);
    EXPECT_NO_THROW(parseFleet(fleetToJson(f)));  // what the generator writes can be read back
    EXPECT_THROW(generateFleet(5, {1, "10.0.0.1", 1}), std::runtime_error);
}

// For a site of network namespaces: any IPv4 address, still skipping host
// parts .0 and .255, and never past 255.255.255.255.
TEST(FleetFile, GeneratedWithAnyAddressStartsAnywhereAndStaysInTheAddressSpace) {
    const FleetData f = generateFleet(3, {1, "192.0.2.254", 1, true});
    ASSERT_EQ(f.controllers.size(), 3u);
    EXPECT_EQ(f.controllers[0].address, "192.0.2.254");
    EXPECT_EQ(f.controllers[1].address, "192.0.3.1");
    EXPECT_EQ(f.controllers[2].address, "192.0.3.2");
    EXPECT_NO_THROW(generateFleet(2, {1, "255.255.255.253", 1, true}));
    EXPECT_THROW(generateFleet(3, {1, "255.255.255.253", 1, true}), std::runtime_error);
}
