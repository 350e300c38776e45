#pragma once
// What `zelmar-netctl upgrade` shows on standard error while it runs: a line
// for each controller as it ends, and the state of the whole run (done,
// running, waiting, failed, and how far each transfer has come) whenever a
// controller's state changes and at least once a second. Workers report to
// it from their threads; it writes from one thread of its own.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "site/upgrade_outcome.h"

namespace zelmar::netctl {

using site::ControllerUpgrade;

class UpgradeBoard {
public:
    // `count` controllers to upgrade, all waiting; nothing is written when `quiet`.
    UpgradeBoard(std::size_t count, std::ostream& err, bool quiet);
    ~UpgradeBoard();  // writes the last state and stops its thread
    UpgradeBoard(const UpgradeBoard&) = delete;
    UpgradeBoard& operator=(const UpgradeBoard&) = delete;

    void transferring(std::size_t controller, int percent);  // the share acknowledged, 0 to 100
    void restarting(std::size_t controller);                 // switched: waiting for it to answer again
    void finished(std::size_t controller, const ControllerUpgrade& upgrade);

    // "upgrade: 3 done, 4 running, 23 waiting, 1 failed; transfers 45% 80% 12%, 1 restarting"
    std::string stateLine() const;

private:
    enum class Stage { Waiting, Transferring, Restarting, Finished };
    struct Slot {
        Stage stage = Stage::Waiting;
        int percent = 0;
        bool failed = false;
    };
    void changed(std::unique_lock<std::mutex>& lock);
    void writeLoop();
    std::string stateLineLocked() const;

    std::ostream& err_;
    bool quiet_;
    mutable std::mutex m_;
    std::condition_variable wake_;
    std::vector<Slot> slots_;
    std::vector<std::string> pendingLines_;  // controllers that ended, not yet written
    bool dirty_ = false;
    bool stopping_ = false;
    int finishedCount_ = 0;
    std::thread writer_;
};

}  // namespace zelmar::netctl
