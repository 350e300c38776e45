#include "site/plan_runner.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/netservice/net_service.h"
#include "site/address_moves.h"
#include "site/site_search.h"
#include "site/network_problems.h"

namespace zelmar::site {

namespace {
bool changesIpSettings(const net::wire::SetupFields& f) {
    return f.useDhcp || f.configIpAddress || f.configSubnetMask || f.configGateway || f.configDnsServer;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}
}  // namespace

PlanRunner::PlanRunner(net::NetService& service, std::vector<std::string> passwords)
    : service_(service), passwords_(std::move(passwords)) {
    service_.setPasswords(passwords_);
}

std::vector<ControllerRecord> PlanRunner::findControllers(const SitePlan& plan, const SiteSettings& settings,
                                                          const std::function<void(const Phrase&)>& progress) {
    std::vector<std::string> serials;
    for (const PlanRow& row : plan.rows)
        serials.push_back(row.serialNo);
    return searchForSerials(service_, serials, settings, progress);
}

void PlanRunner::hold(net::ControllerEntry& e, const net::wire::SetupFields& f, bool ipOnly) const {
    if (f.useDhcp)
        e.setUseDhcp(*f.useDhcp);
    if (f.configIpAddress)
        e.setConfigIpAddress(*f.configIpAddress);
    if (f.configSubnetMask)
        e.setConfigSubnetMask(*f.configSubnetMask);
    if (f.configGateway)
        e.setConfigGateway(*f.configGateway);
    if (f.configDnsServer)
        e.setConfigDnsServer(*f.configDnsServer);
    if (ipOnly)
        return;
    if (f.name)
        e.setName(*f.name);
    if (f.description)
        e.setDescription(*f.description);
    if (f.dnsName)
        e.setDnsName(*f.dnsName);
    if (f.mainComputerAddress)
        e.setMainComputerAddress(*f.mainComputerAddress);
    if (f.requireEncryption) {
        e.setRequireEncryption(*f.requireEncryption);
        if (*f.requireEncryption && !passwords_.empty())
            e.setEncryptionPassword(passwords_.front());  // the site's network password becomes the controller's key
    }
}

void PlanRunner::checkNetworkFit(const PlannedSetup& s, FitCheck& result) {
    if (!changesIpSettings(s.fields))
        return;
    auto entry = reach(service_, s.found.serialNo);
    if (!entry) {
        result.unanswered.push_back(s.row);
        return;
    }
    hold(*entry, s.fields, true);
    std::int32_t problems = 0;
    const bool answered = entry->CheckNetwork(problems);
    entry->setApply(false);  // a check only: withdraw what was held
    if (!answered)
        result.unanswered.push_back(s.row);
    else if (!entry->IpSettingsFitNetwork())
        result.misfits.push_back({s.row, columnOfNetworkProblem(std::uint32_t(problems)),
                                  phrase(Say::NetworkMisfit, {std::to_string(std::uint32_t(problems))})});
    else
        result.fitting.push_back(s.row);
}

RowOutcome PlanRunner::apply(const PlannedSetup& s, bool fitChecked) {
    RowOutcome outcome{s.row, s.found.serialNo, Outcome::Skipped, "", {}};
    if (s.fields.empty())
        return outcome;
    auto entry = reach(service_, s.found.serialNo);
    if (!entry) {
        outcome.outcome = Outcome::NoAnswer;
        outcome.detail = phrase(Say::NotFoundNothingSent);
        return outcome;
    }
    hold(*entry, s.fields, false);
    if (changesIpSettings(s.fields) && !fitChecked) {
        std::int32_t problems = 0;
        if (!entry->CheckNetwork(problems)) {
            entry->setApply(false);
            outcome.outcome = Outcome::NoAnswer;
            outcome.detail = phrase(Say::CheckUnanswered);
            return outcome;
        }
        if (!entry->IpSettingsFitNetwork()) {
            entry->setApply(false);
            outcome.outcome = Outcome::Refused;
            outcome.column = columnOfNetworkProblem(std::uint32_t(problems));
            outcome.detail = phrase(Say::CheckRefused, {std::to_string(std::uint32_t(problems))});
            return outcome;
        }
    }
    entry->setApply(true);
    return judged(s, *entry);
}

bool PlanRunner::hasLeft(const PlannedSetup& holder, const std::optional<RowOutcome>& outcome) {
    if (!outcome || !leavesAddress(holder))
        return false;
    if (outcome->outcome == Outcome::Applied && newAddress(holder))
        return true;  // it reported its new fixed address with its confirmation
    const bool mayHaveMoved = outcome->setupSent && (outcome->outcome == Outcome::Applied ||
                                                     outcome->outcome == Outcome::NoAnswer ||
                                                     outcome->outcome == Outcome::Unverified);
    if (!mayHaveMoved)
        return false;  // it took nothing: it is where it was
    // Gone to DHCP (its lease may be the same address), or it may have moved without saying so.
    const auto now = lookUpAnswering(service_, holder.found.serialNo);
    return now && now->IpAddress() != holder.found.ipAddress;
}

RowOutcome PlanRunner::waitingFor(const PlannedSetup& s, const PlannedSetup& holder) {
    return {s.row, s.found.serialNo, Outcome::Waiting, "",
            phrase(Say::WaitingFor, {holder.found.serialNo, holder.found.ipAddress})};
}

RowOutcome PlanRunner::judged(const PlannedSetup& s, net::ControllerEntry& entry) {
    RowOutcome outcome{s.row, s.found.serialNo, Outcome::Applied, "", {}};
    outcome.setupSent = true;
    switch (entry.SetupVerdict()) {
    case net::SetupOutcome::Confirmed:
        break;
    case net::SetupOutcome::Refused:
        outcome.outcome = Outcome::Refused;
        outcome.column = columnOfField(entry.SetupRefusedField());
        outcome.detail = phrase(Say::SetupRefused, {std::to_string(entry.SetupRefusedStatus())});
        return outcome;
    case net::SetupOutcome::NoAnswer:
        outcome.outcome = Outcome::NoAnswer;
        outcome.detail = phrase(Say::SetupUnanswered);
        return outcome;
    }
    // The entry shows the settings the controller reported with its confirmation
    // (or to the lookup that found them in place); compare them with the plan.
    if (differences(s, recordOf(entry)).empty())
        return outcome;
    auto now = lookUpAnswering(service_, s.found.serialNo);
    if (!now) {
        outcome.outcome = Outcome::Unverified;
        outcome.detail = phrase(Say::ReadBackUnanswered);
        return outcome;
    }
    return compared(s, recordOf(*now), outcome);
}

RowOutcome PlanRunner::compared(const PlannedSetup& s, const ControllerRecord& now, RowOutcome outcome) {
    const std::vector<std::string> open = differences(s, now);
    if (!open.empty()) {
        outcome.outcome = Outcome::Unverified;
        outcome.column = open.front();
        outcome.detail = phrase(Say::ReadsBackOther, {joined(open)});
    }
    return outcome;
}

std::vector<SharedAddress> PlanRunner::verify(const std::vector<PlannedSetup>& ended, std::vector<RowOutcome>& outcomes,
                                             const ReadBackScope& scope, ServicePool& lookups,
                                             std::vector<ControllerRecord>* heardSite) {
    if (std::none_of(outcomes.begin(), outcomes.end(), [](const RowOutcome& o) { return o.setupSent; }))
        return {};  // nothing went out: nothing changed
    service_.Clear();
    service_.Search();
    std::map<std::string, ControllerRecord> heard;  // by Ethernet address, as the last word of each
    for (std::int32_t i = 0; i < service_.ControllerCount(); ++i)
        if (auto e = service_.Item(std::int16_t(i)); e->AnsweredLastSearch())
            heard[e->EthernetAddress()] = recordOf(*e);
    const std::set<std::string> named(scope.addresses.begin(), scope.addresses.end());
    std::set<std::string> plannedSerials;
    std::vector<std::string> unheard;
    auto readAgain = [&](const ControllerRecord& r) {
        if (!heard.count(r.ethernetAddress) &&
            std::find(unheard.begin(), unheard.end(), r.serialNo) == unheard.end())
            unheard.push_back(r.serialNo);
    };
    for (const PlannedSetup& s : scope.setups) {
        plannedSerials.insert(s.found.serialNo);
        readAgain(s.found);
    }
    for (const ControllerRecord& r : scope.found)
        if (named.count(r.ipAddress))
            readAgain(r);
    for (ControllerRecord& r : lookUpEach(unheard, lookups))
        heard[r.ethernetAddress] = std::move(r);
    for (std::size_t i = 0; i < ended.size() && i < outcomes.size(); ++i) {
        RowOutcome& outcome = outcomes[i];
        if (outcome.outcome != Outcome::Applied)
            continue;
        const auto now = heard.find(ended[i].found.ethernetAddress);
        if (now == heard.end()) {
            outcome.outcome = Outcome::Unverified;
            outcome.detail = phrase(Say::ReadBackUnanswered);
            continue;
        }
        outcome = compared(ended[i], now->second, outcome);
    }
    std::vector<ControllerRecord> site;
    for (auto& [ethernet, record] : heard)
        site.push_back(std::move(record));
    std::vector<SharedAddress> shared = sharedAddresses(site, true);
    if (heardSite)
        *heardSite = std::move(site);
    std::erase_if(shared, [&](const SharedAddress& a) {
        return !named.count(a.address) && std::none_of(a.serialNos.begin(), a.serialNos.end(), [&](const std::string& s) {
            return plannedSerials.count(s) != 0;
        });
    });
    return shared;
}

}  // namespace zelmar::site
