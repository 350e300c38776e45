#include "site/upgrade_work.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "platform/netservice/net_service.h"
#include "platform/netservice/wire/messages.h"
#include "site/controller_upgrade.h"
#include "site/site_search.h"
#include "site/worker_pool.h"

namespace zelmar::site {

namespace {
constexpr int kClosingSearches = 3;  // `all`: searches after the run, while each finds controllers not seen

bool sameController(const ControllerRecord& a, const ControllerRecord& b) {
    return a.ethernetAddress == b.ethernetAddress;
}

bool everyOneDone(const std::vector<ControllerUpgrade>& upgrades) {
    return std::all_of(upgrades.begin(), upgrades.end(), [](const ControllerUpgrade& u) { return upgradeDone(u.result); });
}
}  // namespace

UpgradeWork::UpgradeWork(const SiteSettings& settings, const UpgradeFiles& files)
    : settings_(settings),
      files_(files),
      service_(std::make_unique<net::NetService>(settings.config)),
      pace_(std::make_unique<PaceGate>(paceOf(settings))) {
    service_->setPasswords(settings.passwords);
}

UpgradeWork::~UpgradeWork() = default;

UpgradeTargets UpgradeWork::find(const std::vector<std::string>& serials, bool all, UpgradeListener& listener) {
    UpgradeTargets t;
    const std::vector<ControllerRecord> found =
        searchForSerials(*service_, serials, settings_, [&](const Phrase& said) { listener.progress(said); });
    auto take = [&](const ControllerRecord& r) {
        if (std::none_of(t.seen.begin(), t.seen.end(), [&](const ControllerRecord& s) { return sameController(s, r); }))
            t.seen.push_back(r);
    };
    if (all)
        std::for_each(found.begin(), found.end(), take);
    for (const std::string& serial : serials) {
        const auto it = std::find_if(found.begin(), found.end(),
                                     [&](const ControllerRecord& r) { return net::wire::serialMatches(serial, r.serialNo); });
        if (it != found.end())
            take(*it);
        else
            t.settled.push_back({serial, 0, "", "", UpgradeResult::NotFound, phrase(Say::DidNotAnswerSearch)});
    }
    sort(t.seen, t);
    return t;
}

void UpgradeWork::sort(const std::vector<ControllerRecord>& found, UpgradeTargets& into) const {
    for (const ControllerRecord& r : found) {
        if (auto skipped = upgradeNotNeeded(r, files_, !settings_.passwords.empty(), true))
            into.settled.push_back(*skipped);
        else if (fileIsOlder(r, files_))
            into.newer.push_back(r);
        else
            into.toUpgrade.push_back(r);
    }
}

void UpgradeWork::upgrade(const UpgradeTargets& targets, bool all, UpgradeListener& listener, UpgradeRun& result,
                          const StopFlag* stop, bool allowOlder) {
    result = {};
    result.upgrades = targets.settled;
    std::vector<ControllerRecord> queued = targets.toUpgrade;
    for (const ControllerRecord& r : targets.newer) {
        if (allowOlder)
            queued.push_back(r);
        else
            result.upgrades.push_back(*upgradeNotNeeded(r, files_, true, false));
    }
    upgradeBatch(queued, listener, result, stop);
    if (all && everyOneDone(result.upgrades) && result.notReached.empty())
        result.nobodyLeftBehind = searchForControllersLeftBehind(targets.seen, listener, result, stop, allowOlder);
}

void UpgradeWork::upgradeBatch(const std::vector<ControllerRecord>& queued, UpgradeListener& listener,
                               UpgradeRun& result, const StopFlag* stop) {
    std::vector<std::optional<ControllerUpgrade>> ran(queued.size());
    std::vector<bool> started(queued.size(), false);
    std::mutex lock;
    auto collect = [&](const std::string* error) {
        for (std::size_t i = 0; i < queued.size(); ++i) {
            if (ran[i])
                result.upgrades.push_back(*ran[i]);
            else if (started[i] && error)
                result.upgrades.push_back({queued[i].serialNo, queued[i].portOsType, queued[i].portOsRevision,
                                           queued[i].portOsRevision, UpgradeResult::Unknown,
                                           phrase(Say::ServiceFailedInUpgrade, {*error})});
            else
                result.notReached.push_back(queued[i].serialNo);
        }
    };
    listener.batchStarting(queued);
    try {
        TaskQueue queue(queued.size());
        ServicePool workers(workersFor(settings_, queued.size(), true), settings_.config, settings_.passwords);
        workers.learnFrom(*service_);
        runOnWorkers(workers, queue, *pace_, stop, [&](net::NetService& worker, std::size_t i, Turn& turn) {
            {
                std::lock_guard hold(lock);
                started[i] = true;
            }
            const auto& file = *files_.forType(queued[i].portOsType);
            ControllerUpgrade done = upgradeController(worker, queued[i], file, listener, i, turn);
            listener.finished(i, done);
            std::lock_guard hold(lock);
            ran[i] = std::move(done);
        });
    } catch (const std::exception& e) {
        const std::string error = e.what();
        collect(&error);
        listener.batchEnded();
        throw;
    }
    collect(nullptr);
    listener.batchEnded();
}

// A search can miss controllers whose answers were lost. Before the run says
// it is done the site is searched again, and the controllers not seen before
// are upgraded (or told) too, until a search finds none. False when the last
// search still found some.
bool UpgradeWork::searchForControllersLeftBehind(std::vector<ControllerRecord> seen, UpgradeListener& listener,
                                                 UpgradeRun& result, const StopFlag* stop, bool allowOlder) {
    for (int search = 0; search < kClosingSearches; ++search) {
        listener.progress(phrase(Say::SearchingForMore));
        service_->Clear();
        service_->Search();
        UpgradeTargets late;
        for (const ControllerRecord& r : recordsOf(*service_))
            if (std::none_of(seen.begin(), seen.end(), [&](const ControllerRecord& s) { return sameController(s, r); }))
                late.seen.push_back(r);
        if (late.seen.empty())
            return true;
        seen.insert(seen.end(), late.seen.begin(), late.seen.end());
        for (const ControllerRecord& r : late.seen) {
            if (auto skipped = upgradeNotNeeded(r, files_, !settings_.passwords.empty(), allowOlder))
                late.settled.push_back(*skipped);
            else
                late.toUpgrade.push_back(r);
        }
        const std::size_t before = result.upgrades.size();
        result.upgrades.insert(result.upgrades.end(), late.settled.begin(), late.settled.end());
        upgradeBatch(late.toUpgrade, listener, result, stop);
        for (std::size_t i = before; i < result.upgrades.size(); ++i)
            result.upgrades[i].foundLate = true;
        if (!everyOneDone(result.upgrades) || !result.notReached.empty())
            return true;  // the run fails anyway: no need to look further
    }
    listener.note(phrase(Say::MayHoldMore, {std::to_string(kClosingSearches)}));
    return false;
}

bool upgradeFinished(const UpgradeRun& run) {
    return everyOneDone(run.upgrades) && run.notReached.empty() && run.nobodyLeftBehind;
}

}  // namespace zelmar::site
