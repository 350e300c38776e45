#include "site/site_search.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "platform/netservice/net_service.h"
#include "platform/netservice/wire/messages.h"
#include "site/site_settings.h"
#include "site/worker_pool.h"

namespace zelmar::site {

std::shared_ptr<net::ControllerEntry> entryOf(net::NetService& service, const std::string& serial) {
    for (std::int32_t i = 0; i < service.ControllerCount(); ++i) {
        auto e = service.Item(std::int16_t(i));
        if (net::wire::serialMatches(serial, e->SerialNo()))
            return e;
    }
    return nullptr;
}

std::shared_ptr<net::ControllerEntry> lookUpAnswering(net::NetService& service, const std::string& serial) {
    service.Clear();
    service.setSearchSerialNo(serial);
    service.AddSerialNoSearch();
    service.Search();
    auto e = entryOf(service, serial);
    return e && e->AnsweredLastSearch() ? e : nullptr;
}

std::vector<ControllerRecord> searchForSerials(net::NetService& service, const std::vector<std::string>& serials,
                                               const SiteSettings& settings,
                                               const std::function<void(const Phrase&)>& progress) {
    service.Clear();
    service.Search();
    auto unheard = [&] {
        std::vector<std::string> missing;
        for (const std::string& serial : serials)
            if (!entryOf(service, serial))
                missing.push_back(serial);
        return missing;
    };
    if (const auto missing = unheard(); !missing.empty()) {
        progress(phrase(Say::SearchingAgain, {std::to_string(missing.size())}));
        service.Search();
    } else {
        return recordsOf(service);
    }
    // Passes of lookups: a pass that finds some says the link loses answers,
    // so they go on until two passes in a row find none. A first pass that
    // finds none says these serial numbers are not on the site.
    bool anyFound = false;
    int emptyPasses = 0;
    for (std::vector<std::string> missing = unheard(); !missing.empty(); missing = unheard()) {
        progress(phrase(Say::LookingUp, {std::to_string(missing.size())}));
        const int atOnce = settings.jobs ? *settings.jobs : int(std::min<std::size_t>(missing.size(), kMostLookups));
        ServicePool lookups(atOnce, settings.config, settings.passwords);
        if (!lookUpEach(missing, lookups, &service).empty()) {
            anyFound = true;
            emptyPasses = 0;
        } else if (!anyFound || ++emptyPasses == 2) {
            break;
        }
    }
    return recordsOf(service);
}

std::vector<ControllerRecord> lookUpEach(const std::vector<std::string>& serials, ServicePool& pool,
                                         net::NetService* learner) {
    std::vector<std::optional<ControllerRecord>> heard(serials.size());
    std::mutex learning;
    TaskQueue queue(serials.size());
    PaceGate pace(Pace::fixed(pool.size()));  // an unknown serial number tells nothing of the link
    runOnWorkers(pool, queue, pace, nullptr, [&](net::NetService& worker, std::size_t i, Turn&) {
        const auto e = lookUpAnswering(worker, serials[i]);
        if (!e)
            return;
        heard[i] = recordOf(*e);
        if (learner) {
            std::lock_guard hold(learning);
            learner->LearnControllers(worker);  // takes on the entries it does not know yet
        }
    });
    std::vector<ControllerRecord> found;
    for (auto& r : heard)
        if (r)
            found.push_back(std::move(*r));
    return found;
}

std::shared_ptr<net::ControllerEntry> reach(net::NetService& service, const std::string& serial) {
    if (auto e = entryOf(service, serial))
        return e;
    return lookUpAnswering(service, serial);
}

Phrase identityOnlyReason(const ControllerRecord& found, bool havePassword) {
    if (!found.requireEncryption || found.passwordOk)
        return {};
    return phrase(havePassword ? Say::PasswordRefused : Say::NoPasswordGiven);
}

}  // namespace zelmar::site
