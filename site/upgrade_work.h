#pragma once
// Upgrading many controllers' port OS: the work of `zelmar-netctl upgrade`
// and of the site window, which only show what it tells. First the
// controllers are found and sorted into those that need a transfer and those
// told at once (current, no file, refused, not found); then the transfers
// run at the settings' pace, each the tool's own upgrade.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "site/controller_record.h"
#include "site/site_settings.h"
#include "site/stop_flag.h"
#include "site/upgrade_files.h"
#include "site/upgrade_outcome.h"

namespace zelmar::net {
class NetService;
}

namespace zelmar::site {

class PaceGate;

// What the work tells as it goes. A batch is the controllers upgraded in one
// go (the run's own, then those a search after the run found); the slots are
// their places in it. Calls come from the work's threads, and may overlap.
class UpgradeListener {
public:
    virtual ~UpgradeListener() = default;
    virtual void progress(const Phrase& said) { (void)said; }  // --quiet leaves it out
    virtual void note(const Phrase& said) { (void)said; }
    virtual void batchStarting(const std::vector<ControllerRecord>& controllers) { (void)controllers; }
    virtual void transferring(std::size_t slot, int percent) { (void)slot, (void)percent; }  // share acknowledged, 0 to 100
    virtual void restarting(std::size_t slot) { (void)slot; }  // switched: waiting for it to answer again
    virtual void finished(std::size_t slot, const ControllerUpgrade& upgrade) { (void)slot, (void)upgrade; }
    virtual void batchEnded() {}
};

// The controllers of a run, found and sorted before anything is sent.
struct UpgradeTargets {
    std::vector<ControllerRecord> toUpgrade;  // each will get a transfer and restart
    std::vector<ControllerRecord> newer;      // they run a newer revision than their file: sent only when asked for
    std::vector<ControllerUpgrade> settled;   // told without a transfer
    std::vector<ControllerRecord> seen;       // every controller found, for the search after the run
};

struct UpgradeRun {
    std::vector<ControllerUpgrade> upgrades;  // every controller's outcome (settled ones included)
    std::vector<std::string> notReached;      // stopped or cut short before their transfer: nothing sent
    bool nobodyLeftBehind = true;             // with `all`: the last search found no controller not seen
};

class UpgradeWork {
public:
    UpgradeWork(const SiteSettings& settings, const UpgradeFiles& files);
    ~UpgradeWork();
    UpgradeWork(const UpgradeWork&) = delete;
    UpgradeWork& operator=(const UpgradeWork&) = delete;

    // The controllers named (a serial number given twice, or spelt two ways, is
    // one), and with `all` every controller the search finds. Sends no upgrade.
    // An empty `seen` with `all`: no controller answered.
    UpgradeTargets find(const std::vector<std::string>& serials, bool all, UpgradeListener& listener);

    // Upgrades the targets at the settings' pace; once `stop` is requested no new
    // transfer starts. The controllers that run a newer revision than their
    // file get it only with `allowOlder` (a downgrade); else they are told so,
    // nothing sent. With `all`, before it says it is done it searches the
    // site again and upgrades the controllers not seen before, until a search
    // finds none. A service error is thrown again after `result` holds what was done.
    void upgrade(const UpgradeTargets& targets, bool all, UpgradeListener& listener, UpgradeRun& result,
                 const StopFlag* stop = nullptr, bool allowOlder = false);

private:
    void upgradeBatch(const std::vector<ControllerRecord>& controllers, UpgradeListener& listener, UpgradeRun& result,
                      const StopFlag* stop);
    bool searchForControllersLeftBehind(std::vector<ControllerRecord> seen, UpgradeListener& listener,
                                        UpgradeRun& result, const StopFlag* stop, bool allowOlder);
    // Sorts found controllers into those to send the file, those newer than it, and those told at once.
    void sort(const std::vector<ControllerRecord>& found, UpgradeTargets& into) const;

    SiteSettings settings_;
    const UpgradeFiles& files_;
    std::unique_ptr<net::NetService> service_;
    std::unique_ptr<PaceGate> pace_;  // the transfers of every batch
};

// True when every controller is upgraded or current, none was left out and nobody was left behind.
bool upgradeFinished(const UpgradeRun& run);

}  // namespace zelmar::site
