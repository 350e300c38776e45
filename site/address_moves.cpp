#include "site/address_moves.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "platform/netservice/wire/ipv4.h"

namespace zelmar::site {

namespace ipv4 = net::ipv4;

namespace {
using Address = std::uint32_t;

// An address in use: 0.0.0.0 (a factory-new controller, "none") is none.
std::optional<Address> usedAddress(const std::string& text) {
    const auto a = ipv4::parse(text);
    return a && *a != 0 ? a : std::nullopt;
}

std::string rowList(const std::vector<int>& rows) {
    std::string text;
    for (int r : rows)
        text += (text.empty() ? "" : ", ") + std::to_string(r);
    return text;
}

// The fixed settings a controller runs with once its setup is applied.
struct FixedSettings {
    Address ip = 0, mask = 0;
    std::string gateway, dnsServer;
    Address network() const { return ip & mask; }
};

std::optional<FixedSettings> plannedFixed(const PlannedSetup& s) {
    const auto ip = newAddress(s);
    const auto mask = ipv4::parse(s.fields.configSubnetMask.value_or(s.found.subnetMask));
    if (!ip || !mask)
        return std::nullopt;
    return FixedSettings{*ipv4::parse(*ip), *mask, s.fields.configGateway.value_or(s.found.gateway),
                         s.fields.configDnsServer.value_or(s.found.dnsServer)};
}

// The parked controller's first move: onto the parking address with the
// network settings it is planned to have, so that it stays in its network.
PlannedSetup toParking(const PlannedSetup& s, const FixedSettings& planned, Address parking) {
    PlannedSetup park;
    park.row = s.row;
    park.found = s.found;
    if (s.found.useDhcp)
        park.fields.useDhcp = false;
    park.fields.configIpAddress = ipv4::format(parking);
    park.fields.configSubnetMask = ipv4::format(planned.mask);
    park.fields.configGateway = planned.gateway;
    park.fields.configDnsServer = planned.dnsServer;
    return park;
}

// Its second: the whole setup, from the parking address.
PlannedSetup fromParking(const PlannedSetup& s, const FixedSettings& planned, Address parking) {
    PlannedSetup from = s;
    from.found.useDhcp = false;
    from.found.ipAddress = ipv4::format(parking);
    from.found.subnetMask = ipv4::format(planned.mask);
    from.found.gateway = planned.gateway;
    from.found.dnsServer = planned.dnsServer;
    return from;
}

// The addresses a parking address must not be, and the parking address of each network.
class ParkingChooser {
public:
    ParkingChooser(const std::vector<PlannedSetup>& setups, const std::vector<ControllerRecord>& found,
                   const std::vector<std::string>& given, std::vector<PlanProblem>& problems)
        : problems_(problems) {
        for (const ControllerRecord& r : found) {
            take(r.ipAddress, {Say::ParkingHeld, r.serialNo});
            for (const std::string* named : {&r.gateway, &r.dnsServer, &r.mainComputerAddress})
                take(*named, {Say::ParkingNamed, r.serialNo});
        }
        for (const PlannedSetup& s : setups) {
            if (const auto ip = newAddress(s))
                take(*ip, {Say::ParkingPlanned, std::to_string(s.row)});
            for (const auto* named : {&s.fields.configGateway, &s.fields.configDnsServer})
                if (*named)
                    take(**named, {Say::ParkingPlannedAsServer, std::to_string(s.row)});
        }
        for (const std::string& g : given) {
            if (const auto a = ipv4::parse(g))
                given_.push_back(*a);
            else
                problems_.push_back({0, "", phrase(Say::ParkingNotAnAddress, {g})});
        }
    }

    // The parking address for a cycle whose parked controller is to run with
    // `planned`: one the technician gave for its network, else the highest
    // free host address of the network. Nothing, with a problem, when there is none.
    std::optional<Address> choose(const FixedSettings& planned, const AddressCycle& cycle) {
        const auto key = std::make_pair(planned.network(), planned.mask);
        if (const auto it = chosen_.find(key); it != chosen_.end())
            return it->second;
        const Address broadcast = planned.network() | ~planned.mask;
        std::optional<Address> pick;
        for (Address g : given_)
            if ((g & planned.mask) == planned.network() && g != planned.network() && g != broadcast) {
                if (const auto why = whyTaken_.find(g); why != whyTaken_.end()) {
                    problem(cycle, why->second.say, {ipv4::format(g), why->second.who});
                    return std::nullopt;
                }
                pick = g;
                break;
            }
        for (Address a = broadcast - 1, tried = 0; !pick && a > planned.network() && tried < kMostTried; --a, ++tried)
            if (!whyTaken_.count(a))
                pick = a;
        if (!pick) {
            problem(cycle, Say::NoParkingAddress,
                    {ipv4::format(planned.network()) + "/" + std::to_string(ipv4::prefixLength(planned.mask).value_or(0))});
            return std::nullopt;
        }
        chosen_[key] = *pick;
        return pick;
    }

private:
    static constexpr Address kMostTried = 1 << 16;

    // Who keeps an address from being a parking address, and how.
    struct Taken {
        Say say;
        std::string who;  // a serial number, or a row
    };
    void take(const std::string& text, Taken why) {
        if (const auto a = usedAddress(text))
            whyTaken_.emplace(*a, std::move(why));  // the first reason is enough
    }
    void problem(const AddressCycle& cycle, Say say, std::vector<std::string> args) {
        args.insert(args.begin(), rowList(cycle.rows));
        problems_.push_back({cycle.parkedRow, "IpAddress", phrase(say, std::move(args))});
    }

    std::vector<PlanProblem>& problems_;
    std::map<Address, Taken> whyTaken_;
    std::vector<Address> given_;
    std::map<std::pair<Address, Address>, Address> chosen_;
};

// A move not yet in the order: where its controller is and where it goes.
struct Open {
    Move move;
    std::optional<Address> held;    // the address it frees (none: it keeps its address)
    std::optional<Address> target;  // the fixed address it takes
};

Open opened(std::size_t setup, Move::Step step, PlannedSetup send) {
    Open o{{setup, step, std::move(send)}, std::nullopt, std::nullopt};
    if (leavesAddress(o.move.send))
        o.held = usedAddress(o.move.send.found.ipAddress);
    if (const auto t = newAddress(o.move.send))
        o.target = ipv4::parse(*t);
    return o;
}

// Orders the moves: in plan order, each once no move still to come holds its
// new address; when every one left waits for another, a cycle is parked.
class MoveOrder {
public:
    MoveOrder(const std::vector<PlannedSetup>& setups, ParkingChooser& parking, std::vector<PlanProblem>& problems)
        : parking_(parking), problems_(problems) {
        for (std::size_t i = 0; i < setups.size(); ++i)
            open_.push_back(opened(i, Move::Step::Whole, setups[i]));
        for (const Open& o : open_)
            if (o.held)
                ++heldByOpen_[*o.held];
    }

    // The moves in order; `extraWaits`: for each, the moves it starts after beyond the holders of its address.
    MovePlan run(std::vector<std::vector<std::size_t>>& extraWaits) {
        while (!open_.empty()) {
            std::vector<Open> later;
            bool progress = false;
            for (Open& o : open_) {
                if (o.target && heldByOpen_[*o.target] > 0) {
                    later.push_back(std::move(o));
                    continue;
                }
                place(std::move(o));
                progress = true;
            }
            open_ = std::move(later);
            if (!progress)
                breakCycle();
        }
        extraWaits = std::move(extraWaits_);
        return std::move(plan_);
    }

private:
    void place(Open o) {
        if (o.held)
            --heldByOpen_[*o.held];
        const std::size_t index = plan_.moves.size();
        std::vector<std::size_t> extra;
        if (o.move.step == Move::Step::ToParking && lastCycleClosed_)
            extra.push_back(*lastCycleClosed_);  // cycles are closed one at a time
        if (o.move.step == Move::Step::FromParking)
            lastCycleClosed_ = index;
        plan_.moves.push_back(std::move(o.move));
        extraWaits_.push_back(std::move(extra));
    }

    // Every move left waits for another: from the first, follow each to a
    // holder of its new address until one comes round again.
    std::vector<std::size_t> findCycle() const {
        std::unordered_map<Address, std::size_t> holderOf;
        for (std::size_t i = open_.size(); i-- > 0;)
            if (open_[i].held)
                holderOf[*open_[i].held] = i;  // the first in order
        std::vector<int> seenAt(open_.size(), -1);
        std::vector<std::size_t> path;
        std::size_t at = 0;
        while (seenAt[at] < 0) {
            seenAt[at] = int(path.size());
            path.push_back(at);
            at = holderOf.at(*open_[at].target);
        }
        return {path.begin() + seenAt[at], path.end()};
    }

    void breakCycle() {
        // Each member takes the address of the next; the first in plan order is parked.
        const std::vector<std::size_t> members = findCycle();
        const auto parkedAt = std::min_element(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
            return open_[a].move.send.row < open_[b].move.send.row;
        });
        const std::size_t j = std::size_t(parkedAt - members.begin());
        Open& parked = open_[members[j]];
        AddressCycle cycle;
        cycle.parkedRow = parked.move.send.row;
        cycle.parkedSerial = parked.move.send.found.serialNo;
        for (std::size_t k = 0; k < members.size(); ++k)  // then the one that takes its address, and so on
            cycle.rows.push_back(open_[members[(j + members.size() - k) % members.size()]].move.send.row);
        const auto planned = plannedFixed(parked.move.send);
        const auto parking = planned ? parking_.choose(*planned, cycle) : std::nullopt;
        if (!parking || heldByOpen_[*parking] > 0) {
            if (parking)
                problems_.push_back({cycle.parkedRow, "IpAddress", phrase(Say::CycleUnordered, {rowList(cycle.rows)})});
            for (std::size_t m : members)  // a plan with a problem is not applied: the order only has to be whole
                open_[m].target.reset();
            return;
        }
        cycle.parking = ipv4::format(*parking);
        plan_.cycles.push_back(cycle);
        Open park = opened(parked.move.setup, Move::Step::ToParking, toParking(parked.move.send, *planned, *parking));
        parked = opened(parked.move.setup, Move::Step::FromParking, fromParking(parked.move.send, *planned, *parking));
        ++heldByOpen_[*parking];
        place(std::move(park));
    }

    ParkingChooser& parking_;
    std::vector<PlanProblem>& problems_;
    std::vector<Open> open_;  // in plan order
    std::unordered_map<Address, int> heldByOpen_;
    std::optional<std::size_t> lastCycleClosed_;
    MovePlan plan_;
    std::vector<std::vector<std::size_t>> extraWaits_;
};

// For each move, the moves whose controllers hold its new address when it
// starts: the earlier ones that leave it (it waits for them), and any that
// keep it (it never goes).
void findHolders(MovePlan& plan, const std::vector<std::vector<std::size_t>>& extraWaits) {
    std::unordered_map<Address, std::vector<std::size_t>> leaving, keeping;
    for (std::size_t i = 0; i < plan.moves.size(); ++i) {
        const PlannedSetup& s = plan.moves[i].send;
        if (const auto held = usedAddress(s.found.ipAddress); held && plan.moves[i].step == Move::Step::Whole)
            if (!leavesAddress(s))
                keeping[*held].push_back(i);
    }
    plan.holders.assign(plan.moves.size(), {});
    plan.waits.assign(plan.moves.size(), {});
    for (std::size_t i = 0; i < plan.moves.size(); ++i) {
        const PlannedSetup& s = plan.moves[i].send;
        if (const auto target = newAddress(s)) {
            const Address t = *ipv4::parse(*target);
            plan.holders[i] = leaving[t];
            plan.waits[i] = leaving[t];
            for (std::size_t k : keeping[t])
                plan.holders[i].push_back(k);
        }
        for (std::size_t w : extraWaits[i])
            if (std::find(plan.waits[i].begin(), plan.waits[i].end(), w) == plan.waits[i].end())
                plan.waits[i].push_back(w);
        if (const auto held = usedAddress(s.found.ipAddress); held && leavesAddress(s))
            leaving[*held].push_back(i);
    }
}
}  // namespace

std::optional<std::string> newAddress(const PlannedSetup& s) {
    const auto& ip = s.fields.configIpAddress;
    if (!ip || s.fields.useDhcp.value_or(s.found.useDhcp))
        return std::nullopt;
    const auto planned = ipv4::parse(*ip);
    if (!planned || planned == ipv4::parse(s.found.ipAddress))
        return std::nullopt;
    return ipv4::format(*planned);
}

bool leavesAddress(const PlannedSetup& s) {
    return newAddress(s) || (s.fields.useDhcp.value_or(false) && !s.found.useDhcp);
}

MovePlan planMoves(const std::vector<PlannedSetup>& setups, const std::vector<ControllerRecord>& found,
                   const std::vector<std::string>& given, std::vector<PlanProblem>& problems) {
    ParkingChooser parking(setups, found, given, problems);
    std::vector<std::vector<std::size_t>> extraWaits;
    MovePlan plan = MoveOrder(setups, parking, problems).run(extraWaits);
    findHolders(plan, extraWaits);
    return plan;
}

}  // namespace zelmar::site
