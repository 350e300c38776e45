#include "site/site_search.h"

#include <algorithm>

#include "platform/netservice/net_service.h"
#include "platform/netservice/wire/messages.h"

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
                                               const std::function<void(const std::string&)>& progress) {
    service.Clear();
    service.Search();
    const auto unheard = std::count_if(serials.begin(), serials.end(),
                                       [&](const std::string& serial) { return !entryOf(service, serial); });
    if (unheard > 0) {
        progress(std::to_string(unheard) + (unheard == 1 ? " controller" : " controllers") +
                 " of the list did not answer the search: searching once more ...");
        service.Search();
    }
    return recordsOf(service);
}

std::shared_ptr<net::ControllerEntry> reach(net::NetService& service, const std::string& serial) {
    if (auto e = entryOf(service, serial))
        return e;
    return lookUpAnswering(service, serial);
}

std::string identityOnlyReason(const ControllerRecord& found, bool havePassword) {
    if (!found.requireEncryption || found.passwordOk)
        return {};
    return havePassword ? "the network password was not accepted"
                        : "it requires encryption and no network password was given";
}

}  // namespace zelmar::site
