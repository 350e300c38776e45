#include "platform/netservice/upgrade/upgrade_window.h"

#include <algorithm>

namespace zelmar::net {

UpgradeWindow::UpgradeWindow(std::uint32_t blocks, std::size_t window)
    : book_(blocks), window_(window), reach_(std::min(window, kFirstReach)) {
    byRequest_.reserve(std::size_t(blocks) * 2);
}

std::optional<UpgradeWindow::Send> UpgradeWindow::next() {
    auto& lost = book_.lost;
    while (!lost.empty() && (*lost.begin() < book_.base || book_.acked[*lost.begin()]))
        lost.erase(lost.begin());
    Send send;
    if (!lost.empty()) {
        send.block = *lost.begin();
        lost.erase(lost.begin());
        send.again = true;
    } else if (book_.next < book_.blocks() && book_.next < book_.base + reach_) {
        send.block = book_.next++;
    } else {
        return std::nullopt;
    }
    const bool fillsWindow = lost.empty() && (book_.next >= book_.blocks() || book_.next >= book_.base + reach_);
    const bool repairing = book_.base < repairingBelow_;
    const bool lastRepair = send.again && lost.empty();
    send.askAck = fillsWindow || lastRepair || (repairing && ++sinceAsked_ >= kAskEveryWhileRepairing);
    if (send.askAck)
        sinceAsked_ = 0;
    return send;
}

std::optional<std::uint32_t> UpgradeWindow::probe() const {
    if (!book_.lost.empty())
        return std::nullopt;
    for (std::uint32_t b = book_.base; b < book_.next; ++b)
        if (!book_.acked[b])
            return b;
    return std::nullopt;
}

void UpgradeWindow::timedOut() { reach_ = std::max(std::min(window_, kLeastReach), reach_ / 2); }

void UpgradeWindow::sent(std::uint32_t block, std::uint32_t requestId, Clock::time_point at) {
    book_.sentSeq[block] = ++seq_;
    byRequest_[requestId] = {seq_, at, session_};
}

std::optional<UpgradeWindow::Ack> UpgradeWindow::take(const wire::Message& ack, const wire::Ethernet& target,
                                                      std::uint32_t transferId, Clock::time_point now) {
    const auto it = byRequest_.find(ack.requestId);
    const std::uint64_t triggerSeq = it == byRequest_.end() ? 0 : it->second.seq;
    const std::size_t lostBefore = book_.lost.size();
    const std::uint32_t ackedBefore = book_.ackedCount;
    const auto progress = book_.take(ack, target, transferId, triggerSeq);
    if (!progress)
        return std::nullopt;
    if (book_.lost.size() > lostBefore)
        repairingBelow_ = book_.next;
    reach_ = std::min(window_, reach_ + (book_.ackedCount - ackedBefore));
    Ack out;
    out.progress = *progress;
    if (it != byRequest_.end())
        out.roundTripMs = std::chrono::duration<double, std::milli>(now - it->second.at).count();
    return out;
}

bool UpgradeWindow::sentInThisSession(std::uint32_t requestId) const {
    const auto it = byRequest_.find(requestId);
    return it != byRequest_.end() && it->second.session == session_;
}

void UpgradeWindow::newSession() {
    ++session_;
    for (std::uint32_t b = book_.base; b < book_.next; ++b)
        if (!book_.acked[b])
            book_.lost.insert(b);
}

int UpgradeWindow::percentAcknowledged() const {
    return int(std::uint64_t(book_.base) * 100 / book_.blocks());
}

}  // namespace zelmar::net
