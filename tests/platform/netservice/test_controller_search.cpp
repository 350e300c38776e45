// The search alone, over its own port, against a simulated fleet over real UDP
// on loopback: what it hears goes to a log in the test instead of a service.
#include <gtest/gtest.h>

#include <map>

#include "platform/netservice/search/controller_search.h"
#include "platform/netservice/service_error.h"
#include "platform/netservice/wire/ipv4.h"
#include "tests/common/sim_site.h"

using namespace zelmar;
namespace wire = net::wire;
using zelmar::testing::serialOf;
using zelmar::testing::startFleet;

namespace {

// Every answer the search passes on, and an entry per controller.
class HeardLog final : public net::SearchLink {
public:
    struct Heard {
        std::string serialNo;
        std::uint32_t from = 0;
        std::uint64_t searchNo = 0;
    };
    std::vector<Heard> answers;
    std::map<std::string, std::int32_t> entries;
    std::vector<net::LastHeard> lastHeard;  // what whereLastHeard answers

    std::int32_t heard(const wire::Message&, wire::ControllerInfo info, const net::platform::Endpoint& from,
                       std::uint64_t searchNo) override {
        answers.push_back({info.serialNo, from.address, searchNo});
        return entries.emplace(info.serialNo, std::int32_t(entries.size())).first->second;
    }
    std::vector<net::LastHeard> whereLastHeard(const std::string&) override { return lastHeard; }
};

struct ControllerSearchTest : ::testing::Test {
    void start(int controllers, const std::string& targets) {
        fleet = std::make_unique<sim::SimFleet>(startFleet(controllers));
        config = fleet->clientConfig();
        config.searchTargets = {targets};
        port = std::make_unique<net::ServicePort>(config);
        search = std::make_unique<net::ControllerSearch>(*port, log);
    }

    std::unique_ptr<sim::SimFleet> fleet;
    net::ServiceConfig config;
    std::unique_ptr<net::ServicePort> port;
    HeardLog log;
    std::unique_ptr<net::ControllerSearch> search;
};

}  // namespace

TEST_F(ControllerSearchTest, AnswersSlowerThanTheSpreadAreAllHeardBeforeTheSearchEnds) {
    start(20, "127.77.0.1-127.77.0.40");  // silent addresses too: only the timing can end it
    fleet->setDelayMs(150, 250);          // every answer later than the first round's spread
    search->run();
    EXPECT_EQ(log.entries.size(), 20u);
    for (const auto& answer : log.answers)
        EXPECT_EQ(answer.searchNo, 1u);
    EXPECT_EQ(search->number(), 1u);
    EXPECT_GE(port->counters().searchRounds, 3u);
    EXPECT_GT(port->counters().lastNewAnswerMs, 150.0);
    // A second search finds them again under its own number, and refreshes their entries.
    fleet->setDelayMs(0, 0);
    search->run();
    EXPECT_EQ(log.entries.size(), 20u);
    EXPECT_EQ(log.answers.back().searchNo, 2u);
}

TEST_F(ControllerSearchTest, ALookupAsksWhereTheControllerAnsweredLastAndEndsWhenItAnswers) {
    start(5, "127.77.0.200");  // the targets do not reach the controllers
    const std::uint32_t address = *net::ipv4::parse(fleet->controller(serialOf(2))->address);
    log.lastHeard = {{address, {}}};
    search->serialNo = serialOf(2);
    search->addSerialNoSearch();
    search->run();
    ASSERT_EQ(log.answers.size(), 1u);
    EXPECT_EQ(log.answers[0].serialNo, serialOf(2));
    EXPECT_EQ(log.answers[0].from, address);

    log.answers.clear();
    search->lookUp(serialOf(2), {address, {}});
    ASSERT_EQ(log.answers.size(), 1u);
    EXPECT_EQ(search->number(), 1u);  // a lookup is not a search of its own
}

TEST_F(ControllerSearchTest, CriteriaNoSearchCanCarryAreErrorsAndNothingIsSent) {
    start(1, "127.77.0.1");
    EXPECT_THROW(search->addAddress("no-such-host.invalid"), net::ServiceError);
    search->serialNo = std::string(33, '1');
    EXPECT_THROW(search->addSerialNoSearch(), net::ServiceError);
    EXPECT_EQ(port->counters().datagramsSent, 0u);
    // A network search asks every host of the network and ends when each has answered.
    search->addNetwork("127.77.0.1", "255.255.255.252");
    search->run();
    EXPECT_EQ(log.entries.size(), 1u);
}
