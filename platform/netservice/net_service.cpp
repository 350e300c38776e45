#include "platform/netservice/net_service.h"

#include "platform/netservice/service_core.h"

namespace zelmar::net {

NetService::NetService() : NetService(ServiceConfig::fromEnvironment()) {}

NetService::NetService(ServiceConfig config) : core_(std::make_shared<ServiceCore>(std::move(config))) {}

NetService::~NetService() = default;

bool NetService::ConnectedMode() const { return core_->searching().connectedMode; }
void NetService::setConnectedMode(bool on) { core_->searching().connectedMode = on; }

bool NetService::IsValidAddress(const std::string& address) { return core_->isValidAddress(address); }

void NetService::setSearchSerialNo(const std::string& serialNo) { core_->searching().serialNo = serialNo; }
void NetService::Clear() { core_->searching().clearCriteria(); }
void NetService::AddAddress(const std::string& address) { core_->searching().addAddress(address); }
void NetService::AddNetwork(const std::string& address, const std::string& subnetMask) {
    core_->searching().addNetwork(address, subnetMask);
}
void NetService::AddSerialNoSearch() { core_->searching().addSerialNoSearch(); }
void NetService::setPassword(const std::string& password) { core_->setPasswords({password}); }
void NetService::setPasswords(const std::vector<std::string>& passwords) { core_->setPasswords(passwords); }

void NetService::Search() { core_->search(); }
void NetService::LearnControllers(const NetService& other) { core_->learnControllers(*other.core_); }

std::int32_t NetService::ControllerCount() const { return core_->count(); }

std::shared_ptr<ControllerEntry> NetService::Item(std::int16_t index) {
    core_->checkIndex(index);  // throws when out of range
    return std::make_shared<ControllerEntry>(core_, index);
}

const ServiceConfig& NetService::config() const { return core_->config(); }

const ServiceCore& NetService::core() const { return *core_; }

}  // namespace zelmar::net
