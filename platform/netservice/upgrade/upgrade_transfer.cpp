#include "platform/netservice/upgrade/upgrade_transfer.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/netservice/upgrade/upgrade_timer.h"
#include "platform/netservice/transport/wait_until.h"
#include "platform/netservice/upgrade/upgrade_window.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kMinBlock = 256;
constexpr int kStartResendMs = 2;  // the start's first gap before it goes again (then doubling)
constexpr std::size_t kDrainEvery = 16;  // blocks sent between two looks at the acknowledgements
constexpr int kDrainLimit = 1024;        // datagrams read in one look, so a flood cannot hold the loop
constexpr auto kProgressEvery = std::chrono::milliseconds(100);  // a report at least this often while blocks travel

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

std::uint32_t newTransferId() {
    thread_local std::mt19937 rng{std::random_device{}()};  // transfers may run on several threads
    std::uint32_t id = 0;
    while (id == 0)
        id = rng();
    return id;
}

std::string fieldName(std::uint16_t tag) {
    switch (tag) {
    case wire::TagPortOsType: return "port OS type";
    case wire::TagPortOsRevision: return "revision";
    case wire::TagImageLength: return "image length";
    case wire::TagImageHash: return "image hash";
    case wire::TagBlockSize: return "block size";
    case wire::TagWindowSize: return "window size";
    case wire::TagTransferId: return "transfer";
    default: return "field " + std::to_string(tag);
    }
}

// "status 1 (image hash)": what a refusal names.
std::string refusal(const Message& reply) {
    const auto status = reply.u8(wire::TagStatus);
    std::string text = "status " + (status ? std::to_string(*status) : std::string("missing"));
    if (const auto bad = reply.u16(wire::TagBadField))
        text += " (" + fieldName(*bad) + ")";
    if (status == std::uint8_t(wire::Status::NotStored))
        text += " (the controller could not store the new revision)";
    return text;
}

bool statusOk(const Message& reply) {
    const auto status = reply.u8(wire::TagStatus);
    return status && *status == std::uint8_t(wire::Status::Ok);
}

// A commit of a transfer the controller does not know: it restarted (and lost
// the blocks) since it took the start. Not a verdict on the image.
bool forgotTheTransfer(const Message& reply) {
    return reply.u8(wire::TagStatus) == std::uint8_t(wire::Status::Invalid) &&
           reply.u16(wire::TagBadField) == wire::TagTransferId;
}

}  // namespace

UpgradeTransfer::UpgradeTransfer(UpgradeLink& link, std::int32_t index, UpgradeTransferOptions options)
    : link_(link), index_(index), options_(std::move(options)) {}

UpgradeOutcome UpgradeTransfer::run(const UpgradeFile& file) {
    if (!file.IsValid()) {
        UpgradeOutcome out;
        out.verdict = UpgradeVerdict::Refused;
        out.problem = "the upgrade file is not valid";
        link_.counters().lastUpgradeProblem = out.problem;
        return out;
    }
    return run(file.PortOsType(), file.Revision(), file.Image(), file.Hash());
}

UpgradeOutcome UpgradeTransfer::run(std::int16_t portOsType, const std::string& revision,
                                    const std::vector<std::uint8_t>& image, const ImageHash& hash) {
    // An index outside the entries is an error, as for every entry call.
    const wire::ControllerInfo controller = link_.upgradeTarget(index_);
    started_ = Clock::now();
    out_ = UpgradeOutcome{};
    refused_ = false;
    if (image.empty() || image.size() > UpgradeFile::kMaxImageBytes)
        return finish(UpgradeVerdict::Refused, "the image is empty or larger than 64 MiB");
    transferId_ = newTransferId();
    target_ = controller.ethernet;
    if (std::string problem = announce(portOsType, revision, image.size(), hash); !problem.empty())
        return finish(refused_ ? UpgradeVerdict::Refused : UpgradeVerdict::NotCompleted, std::move(problem));
    if (std::string problem = sendBlocks(image); !problem.empty())
        return finish(UpgradeVerdict::NotCompleted, std::move(problem));
    std::string problem = commit();
    if (problem.empty())
        return finish(UpgradeVerdict::Switched, {});
    const UpgradeVerdict after = switchedAnyway(revision, controller.portOsRevision);
    if (after == UpgradeVerdict::Switched)
        return finish(after, {});
    return finish(refused_ ? UpgradeVerdict::Refused : after, std::move(problem));
}

// 1. Start: the controller learns what is coming and may refuse it before any block travels
//    (another port type, an image too large for it).
std::string UpgradeTransfer::announce(std::int16_t portOsType, const std::string& revision, std::size_t imageSize,
                                      const ImageHash& hash) {
    const ServiceConfig& cfg = link_.config();
    const std::size_t askedBlock = std::clamp(options_.blockSize, kMinBlock, wire::kMaxUpgradeBlock);
    const std::size_t askedWindow = std::clamp<std::size_t>(options_.window, 1, wire::kMaxUpgradeWindow);
    Message start;
    start.type = MsgType::UpgradeStart;
    start.addU32(wire::TagTransferId, transferId_);
    start.addU32(wire::TagImageLength, std::uint32_t(imageSize));
    start.add(wire::TagImageHash, std::string(reinterpret_cast<const char*>(hash.data()), hash.size()));
    start.addU16(wire::TagPortOsType, std::uint16_t(portOsType));
    start.add(wire::TagPortOsRevision, revision);
    start.addU16(wire::TagBlockSize, std::uint16_t(askedBlock));
    start.addU16(wire::TagWindowSize, std::uint16_t(askedWindow));
    // The start is small and taken once however often it arrives, so a lost one goes again soon:
    // no round trip is known yet, and the doubling gaps send only a few more on a slow link.
    const auto asked = Clock::now();
    const auto accepted = link_.exchange(index_, std::move(start), MsgType::UpgradeStartReply, -1, kStartResendMs);
    // The time the start took is the round trip or more (it may have gone more than once): the first
    // blocks' acknowledgement is awaited three times that (RFC 6298's first estimate), at least a
    // fifth of the usual retransmission time (the first burst keeps the controller busy), at most
    // that time itself. A lost first acknowledgement costs milliseconds on a quick link.
    firstResendMs_ = std::clamp(int(std::ceil(3 * msSince(asked))) + 1, std::max(2, cfg.retransmitMs / 5),
                                std::max(2, cfg.retransmitMs));
    if (!accepted) {
        const std::string notSent = link_.notSent(index_);
        refused_ = !notSent.empty();  // it must not go to this controller
        return notSent.empty() ? "the controller did not answer the start of the transfer" : notSent;
    }
    if (accepted->u32(wire::TagTransferId) != transferId_)
        return "the controller answered for another transfer";
    refused_ = !statusOk(*accepted);
    if (refused_)
        return "the controller refused the image: " + refusal(*accepted);
    blockSize_ = accepted->u16(wire::TagBlockSize).value_or(std::uint16_t(askedBlock));
    windowBlocks_ =
        std::clamp<std::size_t>(accepted->u16(wire::TagWindowSize).value_or(std::uint16_t(askedWindow)), 1, askedWindow);
    if (blockSize_ == 0 || blockSize_ > askedBlock) {
        abandon();
        refused_ = true;
        return "the controller asked for an unusable block size";
    }
    // Without a word from the controller the lookup afterwards waits the longest the configuration allows.
    out_.restartMs = int(std::min<std::uint32_t>(accepted->u32(wire::TagRestartMs).value_or(cfg.upgradeRestartWaitMs),
                                                 std::uint32_t(cfg.upgradeRestartWaitMs)));
    return {};
}

// 2. The blocks. Up to the window's count of blocks are unacknowledged at a time.
//    An acknowledgement names the first block still missing and maps the later
//    ones that arrived; a block that is missing although a block sent after it
//    arrived is lost and sent again. When nothing is heard for the
//    retransmission time, the first missing block goes again with a request
//    for an acknowledgement.
std::string UpgradeTransfer::sendBlocks(const std::vector<std::uint8_t>& image) {
    const ServiceConfig& cfg = link_.config();
    const auto blocks = std::uint32_t((image.size() + blockSize_ - 1) / blockSize_);
    out_.blocks = blocks;
    UpgradeWindow window(blocks, windowBlocks_);
    UpgradeTimer timer({firstResendMs_, cfg.upgradeStallTimeoutMs, cfg.upgradeMaxMs}, started_, Clock::now());
    reportedPercent_ = -1;
    reportedAt_ = Clock::now();
    while (!window.complete()) {
        reportProgress(window);
        if (std::string problem = giveUpReason(timer); !problem.empty()) {
            abandon();
            return problem;
        }
        sendWindow(image, window, timer);
        if (const int wait = msUntil(timer.wakeAt()); wait > 0)
            link_.waitReadable(wait);
        drain(window, timer);
        if (window.complete())
            break;
        // Nothing heard in time: the last blocks or their acknowledgement were lost.
        if (const auto block = timer.probeDue(Clock::now()) ? window.probe() : std::nullopt) {
            sendBlock(image, window, *block, true, true);
            timer.probed(Clock::now());
            if (timer.probesUnanswered() > 1)
                window.timedOut();  // a silent link: fewer blocks out until it carries them again
        }
    }
    reportProgress(window);
    resendMs_ = timer.retransmitMs();
    return {};
}

std::string UpgradeTransfer::giveUpReason(const UpgradeTimer& timer) const {
    const ServiceConfig& cfg = link_.config();
    switch (timer.verdict(Clock::now())) {
    case UpgradeTimer::Verdict::Stalled:
        return "the connection to the controller was lost: no block acknowledged for " +
               std::to_string(cfg.upgradeStallTimeoutMs) + " ms";
    case UpgradeTimer::Verdict::TooLong:
        return "the transfer did not complete within " + std::to_string(cfg.upgradeMaxMs) + " ms";
    case UpgradeTimer::Verdict::Going: break;
    }
    return {};
}

void UpgradeTransfer::sendWindow(const std::vector<std::uint8_t>& image, UpgradeWindow& window, UpgradeTimer& timer) {
    std::size_t sentNow = 0;
    while (const auto send = window.next()) {
        sendBlock(image, window, send->block, send->askAck, send->again);
        if (send->askAck)
            timer.expectAck(Clock::now());
        if (++sentNow % kDrainEvery == 0)
            drain(window, timer);
    }
}

// 3. Commit: the controller checks the whole image and switches. Its reply may be lost and the
//    controller already restarting, so the commit is asked again through the restart; a
//    controller answers a repeated commit of the same transfer from memory.
std::string UpgradeTransfer::commit() {
    const ServiceConfig& cfg = link_.config();
    Message commit;
    commit.type = MsgType::UpgradeCommit;
    commit.addU32(wire::TagTransferId, transferId_);
    // Asked again after the retransmission time the blocks measured: a repeated commit is
    // answered from the controller's memory of its verdict.
    const auto done = link_.exchange(index_, std::move(commit), MsgType::UpgradeCommitReply,
                                     cfg.lookupTimeoutMs + out_.restartMs, resendMs_);
    if (!done) {
        abandon();
        return "the controller did not answer the commit";
    }
    if (done->u32(wire::TagTransferId) != transferId_)
        return "the controller answered the commit of another transfer";
    if (forgotTheTransfer(*done))
        return "the controller restarted during the transfer: it no longer knows it";
    refused_ = !statusOk(*done);
    if (refused_)
        return "the controller refused the image after the transfer: " + refusal(*done);
    out_.restartMs = int(std::min<std::uint32_t>(done->u32(wire::TagRestartMs).value_or(std::uint32_t(out_.restartMs)),
                                                 std::uint32_t(cfg.upgradeRestartWaitMs)));
    link_.restartsFor(index_, out_.restartMs);
    return {};
}

// The controller may have switched with its Ok lost and answered the commit asked again after a
// restart that made it forget the verdict: what it runs once it answers again is the verdict.
UpgradeVerdict UpgradeTransfer::switchedAnyway(const std::string& revision, const std::string& previousRevision) {
    if (revision == previousRevision)
        return UpgradeVerdict::Unknown;  // the same revision before and after: nothing to tell by
    link_.restartsFor(index_, out_.restartMs);
    if (!link_.lookUpAgain(index_))
        return UpgradeVerdict::Unknown;
    if (link_.upgradeTarget(index_).portOsRevision != revision)
        return UpgradeVerdict::NotCompleted;  // it answers, running the old port OS
    link_.restartsFor(index_, 0);  // it answered: the restart is over
    return UpgradeVerdict::Switched;
}

void UpgradeTransfer::sendBlock(const std::vector<std::uint8_t>& image, UpgradeWindow& window, std::uint32_t block,
                                bool askAck, bool again) {
    Message m;
    m.type = MsgType::UpgradeData;
    m.addU32(wire::TagTransferId, transferId_);
    m.addU32(wire::TagBlockNo, block);
    const std::size_t offset = std::size_t(block) * blockSize_;
    const std::size_t length = std::min(blockSize_, image.size() - offset);
    m.add(wire::TagBlockData, std::string(reinterpret_cast<const char*>(image.data() + offset), length));
    if (askAck)
        m.addU8(wire::TagAckRequest, 1);
    link_.sendOnce(index_, m);
    window.sent(block, m.requestId, Clock::now());
    ++out_.blocksSent;
    ServiceStats& counters = link_.counters();
    ++counters.upgradeBlocksSent;
    if (again)
        ++counters.upgradeBlocksResent;
}

void UpgradeTransfer::drain(UpgradeWindow& window, UpgradeTimer& timer) {
    Message msg;
    Endpoint from;
    bool usable = false;
    for (int k = 0; k < kDrainLimit && link_.receiveOne(msg, from, usable); ++k)
        if (usable && !takeAck(msg, window, timer) && !takeStale(msg, window, timer))
            ++link_.counters().datagramsDropped;  // late answers to earlier requests, foreign acknowledgements
}

bool UpgradeTransfer::takeAck(const Message& msg, UpgradeWindow& window, UpgradeTimer& timer) {
    const auto now = Clock::now();
    const auto ack = window.take(msg, target_, transferId_, now);
    if (!ack)
        return false;
    ++link_.counters().upgradeAcks;
    timer.acknowledged(now, ack->progress, ack->roundTripMs);
    return true;
}

// A controller that forgot our session (pushed out by other clients' sessions, or restarted)
// answers each block of it Stale with a fresh challenge. The first such answer to a block of
// the present session starts a new one, and every block not yet acknowledged goes again in it;
// the other blocks' Stale answers belong to the old session and are let be.
bool UpgradeTransfer::takeStale(const Message& msg, UpgradeWindow& window, UpgradeTimer& timer) {
    if (msg.type != MsgType::UpgradeAck || msg.ethernet(wire::TagEthernet) != target_ ||
        !window.sentInThisSession(msg.requestId) || !link_.renewSession(index_, msg))
        return false;
    window.newSession();
    timer.expectAck(Clock::now());
    return true;
}

// The share acknowledged in order, reported when it grows and at least every kProgressEvery.
void UpgradeTransfer::reportProgress(const UpgradeWindow& window) {
    if (!options_.progress)
        return;
    const int percent = window.percentAcknowledged();
    if (percent == reportedPercent_ && Clock::now() - reportedAt_ < kProgressEvery)
        return;
    reportedPercent_ = percent;
    reportedAt_ = Clock::now();
    options_.progress(percent);
}

// Sent once, unanswered: the controller frees what it has gathered at once instead of when the next transfer starts.
void UpgradeTransfer::abandon() {
    Message m;
    m.type = MsgType::UpgradeAbort;
    m.addU32(wire::TagTransferId, transferId_);
    link_.sendOnce(index_, m);
}

UpgradeOutcome UpgradeTransfer::finish(UpgradeVerdict verdict, std::string problem) {
    out_.ok = verdict == UpgradeVerdict::Switched;
    out_.verdict = verdict;
    out_.problem = std::move(problem);
    out_.ms = msSince(started_);
    ServiceStats& counters = link_.counters();
    counters.lastUpgradeMs = out_.ms;
    counters.lastUpgradeProblem = out_.problem;
    return out_;
}

}  // namespace zelmar::net
