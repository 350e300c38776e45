#include "tools/netctl/upgrade_board.h"

#include <ostream>

namespace zelmar::netctl {

using site::upgradeDone;
using site::upgradeLine;

namespace {
constexpr auto kAtLeastEvery = std::chrono::seconds(1);
}

UpgradeBoard::UpgradeBoard(std::size_t count, std::ostream& err, bool quiet)
    : err_(err), quiet_(quiet), slots_(count) {
    if (!quiet_)
        writer_ = std::thread([this] { writeLoop(); });
}

UpgradeBoard::~UpgradeBoard() {
    {
        std::lock_guard lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void UpgradeBoard::transferring(std::size_t i, int percent) {
    std::unique_lock lock(m_);
    Slot& s = slots_.at(i);
    const bool newStage = s.stage != Stage::Transferring;
    s.stage = Stage::Transferring;
    s.percent = percent;
    if (newStage)
        changed(lock);
}

void UpgradeBoard::restarting(std::size_t i) {
    std::unique_lock lock(m_);
    slots_.at(i).stage = Stage::Restarting;
    changed(lock);
}

void UpgradeBoard::finished(std::size_t i, const ControllerUpgrade& upgrade) {
    std::unique_lock lock(m_);
    Slot& s = slots_.at(i);
    s.stage = Stage::Finished;
    s.failed = !upgradeDone(upgrade.result);
    ++finishedCount_;
    pendingLines_.push_back(upgradeLine(finishedCount_, int(slots_.size()), upgrade));
    changed(lock);
}

void UpgradeBoard::changed(std::unique_lock<std::mutex>& lock) {
    dirty_ = true;
    lock.unlock();
    wake_.notify_all();
}

std::string UpgradeBoard::stateLine() const {
    std::lock_guard lock(m_);
    return stateLineLocked();
}

std::string UpgradeBoard::stateLineLocked() const {
    int done = 0, running = 0, waiting = 0, failed = 0, restarting = 0;
    std::string transfers;
    for (const Slot& s : slots_) {
        switch (s.stage) {
        case Stage::Waiting: ++waiting; break;
        case Stage::Transferring:
            ++running;
            transfers += " " + std::to_string(s.percent) + "%";
            break;
        case Stage::Restarting:
            ++running;
            ++restarting;
            break;
        case Stage::Finished:
            ++done;
            failed += s.failed ? 1 : 0;
            break;
        }
    }
    std::string line = "upgrade: " + std::to_string(done) + " done, " + std::to_string(running) + " running, " +
                       std::to_string(waiting) + " waiting, " + std::to_string(failed) + " failed";
    if (!transfers.empty() || restarting > 0)
        line += ";";
    if (!transfers.empty())
        line += " transfers" + transfers;
    if (restarting > 0)
        line += (transfers.empty() ? " " : ", ") + std::to_string(restarting) + " restarting";
    return line;
}

void UpgradeBoard::writeLoop() {
    std::unique_lock lock(m_);
    for (;;) {
        const bool woken = wake_.wait_for(lock, kAtLeastEvery, [&] { return dirty_ || stopping_; });
        if (dirty_ || !woken) {  // the end alone repeats nothing
            for (const std::string& line : pendingLines_)
                err_ << line << "\n";
            pendingLines_.clear();
            err_ << stateLineLocked() << std::endl;
            dirty_ = false;
        }
        if (stopping_)
            return;
    }
}

}  // namespace zelmar::netctl
