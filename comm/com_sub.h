#pragma once
// The communication module: owns the one controller network service object of
// the process, runs searches, finds controllers by serial number, reads the
// directly connected controller, writes settings and upgrades the port OS.
// Messages and questions go through the support routines, the mouse pointer
// through the UI helpers, so that all of it runs without any dialog.
#include <QString>
#include <cstdint>
#include <functional>

#include "comm/input/address_input.h"

namespace zelmar::net {
class NetService;
struct ServiceConfig;
}

namespace zelmar::comm {

// Searches and lookups never hold more entries than a 16-bit index can address.
constexpr std::int32_t kMaxEntries = 32767;

// The service object; created on demand as OpenService does.
net::NetService& Service();
bool HasService();

// Tests hand the service its configuration directly instead of through
// ZELMAR_NETSERVICE_CONFIG; it is used for every service object created afterwards.
void setServiceConfigForTests(const net::ServiceConfig& config);
void clearServiceConfigForTests();

void OpenService();
void CloseService();
void RestartSearch();
void AddControllerAddress(const QString& address, const QString& subnetMask);
std::int16_t FindControllerBySerialNo(const QString& serialNo, bool forceSearch);
// The first of the service's entries that is what the find-more box asked for, or -1.
std::int16_t FindFirstEntryMatching(const AddressInput& input);
void SelectController(const QString& serialNo);

// True when the settings record now holds exactly one directly connected
// controller; `declined` is true only when the technician answered No.
bool ReadConnectedController(bool& declined);

enum class WriteOutcome {
    Written,    // the controller confirmed the settings
    Failed,     // not found, wrong password, or not confirmed
    Cancelled,  // the technician chose Cancel at the network question; nothing applied
};
WriteOutcome WriteControllerSettings();

void FindUpgradeFile(std::int16_t portOsType);
QString UpgradeFilePath();
// What the upgrade command tells its caller while it runs, on this thread; the
// command's questions and messages are its own.
enum class UpgradeStage {
    Sending,            // the share of the image the controller has taken, 0 to 100
    WaitingForRestart,  // the controller switched and restarts; it is looked for again
    Ended,              // the upgrade has ended, well or not: its closing message follows
};
// `percent` is the share taken so far, at every stage.
using UpgradeProgress = std::function<void(UpgradeStage stage, int percent)>;
void UpgradePortOsCommand(const QString& serialNo, const UpgradeProgress& progress = {});
// The command as the search list starts it for its marked controller: unmarked
// while it is upgraded and marked again afterwards; UpgradeInProgress is True
// meanwhile and False again however the command ends, errors included.
void UpgradeListedController(const QString& serialNo, const UpgradeProgress& progress = {});

}  // namespace zelmar::comm
