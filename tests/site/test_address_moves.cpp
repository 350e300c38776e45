// The order of a plan's address moves, without any network: hand-overs wait
// for the holder of an address, cycles go through a free parking address one
// at a time, and a DHCP lease counts as an address held.
#include <gtest/gtest.h>

#include <map>

#include "site/address_moves.h"
#include "site/plan_check.h"
#include "site/site_plan.h"

using namespace zelmar::site;

namespace {
// A fixed controller on 10.20.0.0/16, as a search reports it.
ControllerRecord controller(int n, const std::string& ip) {
    ControllerRecord r;
    r.serialNo = "10-0000" + std::to_string(n);
    r.ethernetAddress = "00-1A-4C-00-00-0" + std::to_string(n);
    r.ipAddress = ip;
    r.subnetMask = "255.255.0.0";
    r.gateway = "10.20.0.1";
    r.dnsServer = "10.20.0.2";
    r.capabilities = 8;
    return r;
}

ControllerRecord onDhcp(int n, const std::string& lease) {
    ControllerRecord r = controller(n, lease);
    r.useDhcp = true;
    return r;
}

struct Planned {
    PlanCheck check;
    MovePlan moves;
    std::vector<PlanProblem> problems;  // of the moves
};

Planned plan(const std::string& csvText, const std::vector<ControllerRecord>& found,
             const std::vector<std::string>& parking = {}) {
    Planned p;
    p.check = checkPlan(readPlan(csvText), found, false);
    p.moves = planMoves(p.check.setups, found, parking, p.problems);
    return p;
}

// "row" of a whole move, "row>" of a move to the parking address, ">row" of the move from there.
std::vector<std::string> movesOf(const MovePlan& m) {
    std::vector<std::string> out;
    for (const Move& move : m.moves) {
        const std::string row = std::to_string(move.send.row);
        out.push_back(move.step == Move::Step::ToParking ? row + ">" : move.step == Move::Step::FromParking ? ">" + row : row);
    }
    return out;
}

// Every controller's address after each move, as the moves go in order one at a time: never two on one.
void expectNoAddressSharedOnTheWay(const Planned& p) {
    std::map<std::string, std::string> at;  // serial -> address
    for (const PlannedSetup& s : p.check.setups)
        at[s.found.serialNo] = s.found.ipAddress;
    for (const Move& m : p.moves.moves) {
        if (const auto to = newAddress(m.send))
            at[m.send.found.serialNo] = *to;
        std::map<std::string, std::string> holder;
        for (const auto& [serial, address] : at)
            EXPECT_TRUE(holder.emplace(address, serial).second)
                << address << " held by " << holder[address] << " and " << serial << " after row " << m.send.row;
    }
}

const std::vector<ControllerRecord> kFive = {controller(1, "10.20.1.1"), controller(2, "10.20.1.2"),
                                             controller(3, "10.20.1.3"), controller(4, "10.20.1.4"),
                                             controller(5, "10.20.1.5")};
}  // namespace

TEST(AddressMoves, AHandOverWaitsForTheHolderAndASwapGoesThroughAParkingAddress) {
    // Row 2 takes the address of row 3, which takes that of row 4, which moves to a free one;
    // rows 5 and 6 swap theirs.
    const Planned p = plan("SerialNo,IpAddress\n10-00001,10.20.1.2\n10-00002,10.20.1.4\n10-00004,10.20.1.9\n"
                           "10-00003,10.20.1.5\n10-00005,10.20.1.3\n",
                           kFive);
    ASSERT_TRUE(p.check.problems.empty());
    ASSERT_TRUE(p.problems.empty());
    EXPECT_EQ(movesOf(p.moves), (std::vector<std::string>{"4", "3", "2", "5>", "6", ">5"}));
    // Each waits for the holder of its new address (by place in that order).
    const std::vector<std::vector<std::size_t>> expected = {{}, {0}, {1}, {}, {3}, {4}};
    EXPECT_EQ(p.moves.waits, expected);
    EXPECT_EQ(p.moves.holders, expected);
    ASSERT_EQ(p.moves.cycles.size(), 1u);
    EXPECT_EQ(p.moves.cycles[0].rows, (std::vector<int>{5, 6}));
    EXPECT_EQ(p.moves.cycles[0].parkedSerial, "10-00003");
    EXPECT_EQ(p.moves.cycles[0].parking, "10.20.255.254");  // the highest free host of its network
    // The parking step sends the IP settings the controller is to have, at the parking address.
    const PlannedSetup& park = p.moves.moves[3].send;
    EXPECT_EQ(park.fields.configIpAddress, "10.20.255.254");
    EXPECT_EQ(park.fields.configSubnetMask, "255.255.0.0");
    EXPECT_EQ(park.fields.configGateway, "10.20.0.1");
    EXPECT_FALSE(park.fields.name);
    EXPECT_EQ(p.moves.moves[5].send.found.ipAddress, "10.20.255.254");  // it leaves from there
    expectNoAddressSharedOnTheWay(p);
}

TEST(AddressMoves, CyclesAreClosedOneAtATimeThroughOneParkingAddress) {
    std::vector<ControllerRecord> found;
    for (int n = 1; n <= 7; ++n)
        found.push_back(controller(n, "10.20.1." + std::to_string(n)));
    found.push_back(controller(8, "10.20.255.254"));  // the highest host is taken: the next one down parks
    // 1 -> 2 -> 3 -> 1 and 4 -> 5 -> 6 -> 7 -> 4.
    const Planned p = plan("SerialNo,IpAddress\n10-00001,10.20.1.2\n10-00002,10.20.1.3\n10-00003,10.20.1.1\n"
                           "10-00004,10.20.1.5\n10-00005,10.20.1.6\n10-00006,10.20.1.7\n10-00007,10.20.1.4\n",
                           found);
    ASSERT_TRUE(p.check.problems.empty());
    ASSERT_TRUE(p.problems.empty());
    EXPECT_EQ(movesOf(p.moves), (std::vector<std::string>{"2>", "4", "3", ">2", "5>", "8", "7", "6", ">5"}));
    ASSERT_EQ(p.moves.cycles.size(), 2u);
    EXPECT_EQ(p.moves.cycles[0].rows, (std::vector<int>{2, 4, 3}));
    EXPECT_EQ(p.moves.cycles[1].rows, (std::vector<int>{5, 8, 7, 6}));
    EXPECT_EQ(p.moves.cycles[0].parking, "10.20.255.253");
    EXPECT_EQ(p.moves.cycles[1].parking, "10.20.255.253");
    // The second cycle parks only once the first has left the parking address.
    EXPECT_EQ(p.moves.waits[4], (std::vector<std::size_t>{3}));
    expectNoAddressSharedOnTheWay(p);
}

TEST(AddressMoves, AGivenParkingAddressIsUsedWhenFreeAndRefusedWhenNot) {
    const std::string swap = "SerialNo,IpAddress\n10-00001,10.20.1.2\n10-00002,10.20.1.1\n";
    const Planned given = plan(swap, kFive, {"10.20.9.9"});
    ASSERT_TRUE(given.problems.empty());
    EXPECT_EQ(given.moves.cycles.at(0).parking, "10.20.9.9");

    const Planned held = plan(swap, kFive, {"10.20.1.5"});
    ASSERT_EQ(held.problems.size(), 1u);
    EXPECT_EQ(held.problems[0].row, 2);
    EXPECT_NE(held.problems[0].text().find("10.20.1.5 is not free: the controller 10-00005 holds it"), std::string::npos)
        << held.problems[0].text();

    // A /30 has two hosts, both in the swap: nowhere to park.
    std::vector<ControllerRecord> tiny = {controller(1, "10.20.1.1"), controller(2, "10.20.1.2")};
    for (ControllerRecord& r : tiny) {
        r.subnetMask = "255.255.255.252";
        r.gateway = r.dnsServer = "0.0.0.0";
    }
    const Planned full = plan(swap, tiny);
    ASSERT_EQ(full.problems.size(), 1u);
    EXPECT_NE(full.problems[0].text().find("no free address in 10.20.1.0/30"), std::string::npos) << full.problems[0].text();
}

TEST(AddressMoves, ADhcpLeaseIsAnAddressHeld) {
    const std::vector<ControllerRecord> found = {controller(1, "10.20.1.1"), onDhcp(2, "10.20.0.150")};
    // The DHCP controller's row renames it, leaves it alone, or is as it is: it keeps its lease,
    // so no row may take that address.
    for (const std::string second : {"10-00002,Renamed,\n", "10-00002,,\n", "10-00002,,true\n"}) {
        SCOPED_TRACE(second);
        const Planned taking = plan("SerialNo,Name,UseDhcp,IpAddress\n10-00001,,,10.20.0.150\n" +
                                        second.substr(0, second.size() - 1) + ",\n",
                                    found);
        ASSERT_EQ(taking.check.problems.size(), 1u);
        EXPECT_EQ(taking.check.problems[0].row, 2);
        EXPECT_NE(taking.check.problems[0].text().find("10.20.0.150 is the DHCP address of the controller 10-00002"),
                  std::string::npos)
            << taking.check.problems[0].text();
    }
    // Moved to a fixed address of its own first, it frees the lease: a hand-over.
    const Planned moved = plan("SerialNo,UseDhcp,IpAddress,SubnetMask\n10-00001,,10.20.0.150,\n"
                               "10-00002,false,10.20.3.3,255.255.0.0\n",
                               found);
    ASSERT_TRUE(moved.check.problems.empty()) << moved.check.problems[0].text();
    EXPECT_EQ(movesOf(moved.moves), (std::vector<std::string>{"3", "2"}));
    EXPECT_EQ(moved.moves.holders[1], (std::vector<std::size_t>{0}));
    EXPECT_TRUE(leavesAddress(moved.moves.moves[0].send));
}

TEST(AddressMoves, AControllerThatKeepsItsAddressHoldsItAgainstEveryMove) {
    // Only the check stops such a plan; should one come through, the move is held back, never sent.
    PlannedSetup keeps, takes;
    keeps.row = 2;
    keeps.found = controller(1, "10.20.1.1");
    keeps.fields.name = "Renamed";
    takes.row = 3;
    takes.found = controller(2, "10.20.1.2");
    takes.fields.configIpAddress = "10.20.1.1";
    std::vector<PlanProblem> problems;
    const MovePlan m = planMoves({keeps, takes}, {keeps.found, takes.found}, {}, problems);
    EXPECT_FALSE(leavesAddress(keeps));
    ASSERT_EQ(m.holders.size(), 2u);
    EXPECT_EQ(m.holders[1], (std::vector<std::size_t>{0}));
    EXPECT_TRUE(m.waits[1].empty());
}
