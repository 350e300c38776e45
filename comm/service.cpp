// Lifetime of the one service object of the process.
#include <memory>
#include <optional>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"

namespace zelmar::comm {

namespace {

std::unique_ptr<net::NetService>& serviceRef() {
    static std::unique_ptr<net::NetService> service;
    return service;
}

std::optional<net::ServiceConfig>& testConfig() {
    static std::optional<net::ServiceConfig> config;
    return config;
}

std::unique_ptr<net::NetService> makeService() {
    if (testConfig())
        return std::make_unique<net::NetService>(*testConfig());
    return std::make_unique<net::NetService>(net::ServiceConfig::fromEnvironment());
}

// Entry indexes belong to one service object: the marked controller is
// unmarked through the old object, while its index still names it, so that no
// controller stays marked once its index is gone.
void replaceService(std::unique_ptr<net::NetService> fresh) {
    const std::int16_t marked = state().SelectedEntryIndex;
    state().SelectedEntryIndex = -1;
    if (serviceRef() && marked >= 0 && marked < serviceRef()->ControllerCount())
        serviceRef()->Item(marked)->UnmarkSelected();
    serviceRef() = std::move(fresh);
}

}  // namespace

void setServiceConfigForTests(const net::ServiceConfig& config) { testConfig() = config; }
void clearServiceConfigForTests() { testConfig().reset(); }

bool HasService() { return serviceRef() != nullptr; }

// Created on demand like OpenService but without resetting the settings record:
// callers pass fields of that record, which a reset would wipe in mid-call.
net::NetService& Service() {
    if (!serviceRef()) {
        auto fresh = makeService();
        fresh->setConnectedMode(false);
        replaceService(std::move(fresh));
    }
    return *serviceRef();
}

void OpenService() {
    if (serviceRef())
        return;
    auto fresh = makeService();
    fresh->setConnectedMode(false);
    replaceService(std::move(fresh));
    ResetSettings();
}

void CloseService() {
    if (!serviceRef())
        return;
    replaceService(nullptr);
}

void RestartSearch() {
    const bool connectedMode = Service().ConnectedMode();
    // The old object goes first so that its entries (and sockets) are gone before the new search.
    replaceService(nullptr);
    replaceService(makeService());
    net::NetService& service = *serviceRef();
    service.setConnectedMode(connectedMode);
    service.Clear();
    service.setPassword(state().NetworkPassword.toStdString());
    service.Search();
}

}  // namespace zelmar::comm
