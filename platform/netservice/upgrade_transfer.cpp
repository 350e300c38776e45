#include "platform/netservice/upgrade_transfer.h"

#include "platform/netservice/upgrade_acks.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <unordered_map>

#include "platform/netservice/net_service.h"
#include "platform/netservice/service_core.h"

namespace zelmar::net {

using platform::Endpoint;
using wire::Message;
using wire::MsgType;
using Clock = ServiceCore::Clock;

namespace {

constexpr int kMinRtoMs = 5;
constexpr int kMaxRtoMs = 1000;
constexpr std::size_t kMinBlock = 256;
constexpr std::size_t kDrainEvery = 16;  // blocks sent between two looks at the acknowledgements
constexpr int kDrainLimit = 1024;        // datagrams read in one look, so a flood cannot hold the loop
constexpr auto kProgressEvery = std::chrono::milliseconds(100);  // a report at least this often while blocks travel

int msUntil(Clock::time_point t) {
    const auto d = std::chrono::duration_cast<std::chrono::microseconds>(t - Clock::now()).count();
    return d <= 0 ? 0 : int((d + 999) / 1000);
}

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

std::uint32_t newTransferId() {
    static std::mt19937 rng{std::random_device{}()};
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

}  // namespace

UpgradeTransfer::UpgradeTransfer(ServiceCore& core, std::int32_t index, UpgradeTransferOptions options)
    : core_(core), index_(index), options_(options) {}

UpgradeOutcome UpgradeTransfer::run(const UpgradeFile& file) {
    if (!file.IsValid()) {
        UpgradeOutcome out;
        out.problem = "the upgrade file is not valid";
        core_.stats_.lastUpgradeProblem = out.problem;
        return out;
    }
    return run(file.PortOsType(), file.Revision(), file.Image(), file.Hash());
}

UpgradeOutcome UpgradeTransfer::run(std::int16_t portOsType, const std::string& revision,
                                    const std::vector<std::uint8_t>& image, const ImageHash& hash) {
    ServiceCore& core = core_;
    core.recordForWrite(index_);  // an index outside the entries is an error, as for every entry call
    core.ensureSocket();
    const ServiceConfig& cfg = core.config_;
    const auto started = Clock::now();
    UpgradeOutcome out;
    auto finish = [&](bool ok, std::string problem) {
        out.ok = ok;
        out.problem = std::move(problem);
        out.ms = msSince(started);
        core.stats_.lastUpgradeMs = out.ms;
        core.stats_.lastUpgradeProblem = out.problem;
        return out;
    };
    if (image.empty() || image.size() > UpgradeFile::kMaxImageBytes)
        return finish(false, "the image is empty or larger than 64 MiB");

    const std::uint32_t transferId = newTransferId();
    const wire::Ethernet target = core.records_[std::size_t(index_)].info.ethernet;
    const std::string previousRevision = core.records_[std::size_t(index_)].info.portOsRevision;
    // Sent once, unanswered: the controller frees what it has gathered at once instead of when the next transfer starts.
    auto abandon = [&] {
        Message m;
        m.type = MsgType::UpgradeAbort;
        m.addU32(wire::TagTransferId, transferId);
        const auto bytes = core.encodeRequest(index_, m);
        if (!bytes.empty())
            core.sendMessage(core.records_[std::size_t(index_)].source, bytes);
    };

    // 1. Start: the controller learns what is coming and may refuse it before any block travels
    //    (another port type, an image too large for it).
    const std::size_t askedBlock = std::clamp(options_.blockSize, kMinBlock, wire::kMaxUpgradeBlock);
    const std::size_t askedWindow = std::clamp<std::size_t>(options_.window, 1, wire::kMaxUpgradeWindow);
    Message start;
    start.type = MsgType::UpgradeStart;
    start.addU32(wire::TagTransferId, transferId);
    start.addU32(wire::TagImageLength, std::uint32_t(image.size()));
    start.add(wire::TagImageHash, std::string(reinterpret_cast<const char*>(hash.data()), hash.size()));
    start.addU16(wire::TagPortOsType, std::uint16_t(portOsType));
    start.add(wire::TagPortOsRevision, revision);
    start.addU16(wire::TagBlockSize, std::uint16_t(askedBlock));
    start.addU16(wire::TagWindowSize, std::uint16_t(askedWindow));
    const auto accepted = core.exchange(index_, std::move(start), MsgType::UpgradeStartReply);
    if (!accepted)
        return finish(false, core.records_[std::size_t(index_)].notSent.empty()
                                 ? "the controller did not answer the start of the transfer"
                                 : core.records_[std::size_t(index_)].notSent);
    if (accepted->u32(wire::TagTransferId) != transferId)
        return finish(false, "the controller answered for another transfer");
    if (!statusOk(*accepted))
        return finish(false, "the controller refused the image: " + refusal(*accepted));
    const std::size_t blockSize = accepted->u16(wire::TagBlockSize).value_or(std::uint16_t(askedBlock));
    const std::size_t window =
        std::clamp<std::size_t>(accepted->u16(wire::TagWindowSize).value_or(std::uint16_t(askedWindow)), 1, askedWindow);
    if (blockSize == 0 || blockSize > askedBlock) {
        abandon();
        return finish(false, "the controller asked for an unusable block size");
    }
    // Without a word from the controller the lookup afterwards waits the longest the configuration allows.
    out.restartMs = int(std::min<std::uint32_t>(accepted->u32(wire::TagRestartMs).value_or(cfg.upgradeRestartWaitMs),
                                                std::uint32_t(cfg.upgradeRestartWaitMs)));

    // 2. The blocks. Up to `window` blocks are unacknowledged at a time. An
    //    acknowledgement names the first block still missing and maps the
    //    later ones that arrived; a block that is missing although a block sent
    //    after it arrived is lost and sent again. When nothing is heard for the
    //    retransmission time, the first missing block goes again with a request
    //    for an acknowledgement.
    const auto blocks = std::uint32_t((image.size() + blockSize - 1) / blockSize);
    out.blocks = blocks;
    UpgradeAckBook book(blocks);
    struct SentDatagram {
        std::uint64_t seq;
        Clock::time_point at;
        std::uint32_t session;  // the number of the session it was sealed in
    };
    std::unordered_map<std::uint32_t, SentDatagram> byRequest;  // request id -> which send it was
    byRequest.reserve(std::size_t(blocks) * 2);
    std::uint64_t seq = 0;
    double srttMs = -1;
    int rtoMs = std::clamp(cfg.retransmitMs, kMinRtoMs, kMaxRtoMs);
    auto lastProgress = Clock::now();
    auto probeDue = Clock::now() + std::chrono::milliseconds(rtoMs);
    const auto hardDeadline = started + std::chrono::milliseconds(cfg.upgradeMaxMs);

    std::uint32_t sessionNo = 0;  // sessions renewed during the transfer (sealed transfers only)

    auto sendBlock = [&](std::uint32_t b, bool ackRequest, bool again) {
        Message m;
        m.type = MsgType::UpgradeData;
        m.addU32(wire::TagTransferId, transferId);
        m.addU32(wire::TagBlockNo, b);
        const std::size_t offset = std::size_t(b) * blockSize;
        const std::size_t length = std::min(blockSize, image.size() - offset);
        m.add(wire::TagBlockData, std::string(reinterpret_cast<const char*>(image.data() + offset), length));
        if (ackRequest)
            m.addU8(wire::TagAckRequest, 1);
        const auto bytes = core.encodeRequest(index_, m);
        core.sendMessage(core.records_[std::size_t(index_)].source, bytes);
        book.sentSeq[b] = ++seq;
        byRequest[m.requestId] = {seq, Clock::now(), sessionNo};
        ++out.blocksSent;
        ++core.stats_.upgradeBlocksSent;
        if (again)
            ++core.stats_.upgradeBlocksResent;
    };

    auto takeAck = [&](const Message& msg) {
        std::uint64_t triggerSeq = 0;
        const auto it = byRequest.find(msg.requestId);
        if (it != byRequest.end())
            triggerSeq = it->second.seq;
        const auto progress = book.take(msg, target, transferId, triggerSeq);
        if (!progress)
            return false;
        ++core.stats_.upgradeAcks;
        if (it != byRequest.end()) {
            const double sample = msSince(it->second.at);
            srttMs = srttMs < 0 ? sample : 0.875 * srttMs + 0.125 * sample;
        }
        if (*progress)
            lastProgress = Clock::now();
        const int rto = srttMs < 0 ? rtoMs : int(4 * srttMs) + 2;
        rtoMs = std::clamp(rto, kMinRtoMs, kMaxRtoMs);
        probeDue = Clock::now() + std::chrono::milliseconds(rtoMs);
        return true;
    };

    // A controller that forgot our session (pushed out by other clients' sessions, or restarted)
    // answers each block of it Stale with a fresh challenge. The first such answer to a block of
    // the present session starts a new one, and every block not yet acknowledged goes again in it;
    // the other blocks' Stale answers belong to the old session and are let be.
    auto renewSession = [&](const Message& msg) {
        const auto it = byRequest.find(msg.requestId);
        if (msg.type != MsgType::UpgradeAck || msg.ethernet(wire::TagEthernet) != target ||
            it == byRequest.end() || it->second.session != sessionNo || !core.renewSession(index_, msg))
            return false;
        ++sessionNo;
        for (std::uint32_t b = book.base; b < book.next; ++b)
            if (!book.acked[b])
                book.lost.insert(b);
        probeDue = Clock::now() + std::chrono::milliseconds(rtoMs);
        return true;
    };

    auto drain = [&] {
        Message msg;
        Endpoint from;
        bool usable = false;
        for (int k = 0; k < kDrainLimit && core.receiveOne(msg, from, usable); ++k)
            if (usable && !takeAck(msg) && !renewSession(msg))
                ++core.stats_.datagramsDropped;  // late answers to earlier requests, foreign acknowledgements
    };

    // The share acknowledged in order, reported when it grows and at least every kProgressEvery.
    int reportedPercent = -1;
    auto reportedAt = Clock::now();
    auto reportProgress = [&] {
        if (!options_.progress)
            return;
        const int percent = int(std::uint64_t(book.base) * 100 / blocks);
        if (percent == reportedPercent && Clock::now() - reportedAt < kProgressEvery)
            return;
        reportedPercent = percent;
        reportedAt = Clock::now();
        options_.progress(percent);
    };

    while (book.base < blocks) {
        reportProgress();
        const auto now = Clock::now();
        if (now - lastProgress > std::chrono::milliseconds(cfg.upgradeStallTimeoutMs)) {
            abandon();
            return finish(false, "the connection to the controller was lost: no block acknowledged for " +
                                     std::to_string(cfg.upgradeStallTimeoutMs) + " ms");
        }
        if (now > hardDeadline) {
            abandon();
            return finish(false, "the transfer did not complete within " + std::to_string(cfg.upgradeMaxMs) + " ms");
        }
        // Lost blocks first, then new ones, as far as the window reaches.
        std::size_t sentNow = 0;
        for (;;) {
            while (!book.lost.empty() && (*book.lost.begin() < book.base || book.acked[*book.lost.begin()]))
                book.lost.erase(book.lost.begin());
            std::uint32_t b = 0;
            bool again = false;
            if (!book.lost.empty()) {
                b = *book.lost.begin();
                book.lost.erase(book.lost.begin());
                again = true;
            } else if (book.next < blocks && book.next < book.base + window) {
                b = book.next++;
            } else {
                break;
            }
            // The last block the window lets out asks for an acknowledgement at once.
            const bool last = book.lost.empty() && (book.next >= blocks || book.next >= book.base + window);
            sendBlock(b, last, again);
            if (last)
                probeDue = Clock::now() + std::chrono::milliseconds(rtoMs);
            if (++sentNow % kDrainEvery == 0)
                drain();
        }
        const int stallLeft = msUntil(lastProgress + std::chrono::milliseconds(cfg.upgradeStallTimeoutMs));
        const int wait = std::min(msUntil(probeDue), stallLeft);
        if (wait > 0)
            core.socket_->waitReadable(wait);
        drain();
        if (book.base >= blocks)
            break;
        if (Clock::now() >= probeDue && book.lost.empty()) {
            // Nothing heard in time: the last blocks or their acknowledgement were lost.
            std::uint32_t b = book.base;
            while (b < book.next && book.acked[b])
                ++b;
            if (b < book.next) {
                sendBlock(b, true, true);
                rtoMs = std::min(rtoMs * 2, kMaxRtoMs);
                probeDue = Clock::now() + std::chrono::milliseconds(rtoMs);
            }
        }
    }

    reportProgress();

    // 3. Commit: the controller checks the whole image and switches. Its reply may be lost and the
    //    controller already restarting, so the commit is asked again through the restart; a
    //    controller answers a repeated commit of the same transfer from memory.
    Message commit;
    commit.type = MsgType::UpgradeCommit;
    commit.addU32(wire::TagTransferId, transferId);
    const auto done = core.exchange(index_, std::move(commit), MsgType::UpgradeCommitReply,
                                    cfg.lookupTimeoutMs + out.restartMs);
    std::string problem;
    if (!done) {
        abandon();
        problem = "the controller did not answer the commit";
    } else if (done->u32(wire::TagTransferId) != transferId) {
        problem = "the controller answered the commit of another transfer";
    } else if (!statusOk(*done)) {
        problem = "the controller refused the image after the transfer: " + refusal(*done);
    }
    if (!problem.empty()) {
        // It may have switched with its Ok lost and answered the commit asked again after a restart
        // that made it forget the verdict: what it runs once it answers again is the verdict.
        if (revision == previousRevision)
            return finish(false, problem);  // the same revision before and after: nothing to tell by
        core.records_[std::size_t(index_)].restartUntil = Clock::now() + std::chrono::milliseconds(out.restartMs);
        if (!core.lookUpAgain(index_) || core.records_[std::size_t(index_)].info.portOsRevision != revision)
            return finish(false, problem);
        core.records_[std::size_t(index_)].restartUntil = Clock::now();  // it answered: the restart is over
        return finish(true, {});
    }
    out.restartMs = int(std::min<std::uint32_t>(done->u32(wire::TagRestartMs).value_or(std::uint32_t(out.restartMs)),
                                                std::uint32_t(cfg.upgradeRestartWaitMs)));
    core.records_[std::size_t(index_)].restartUntil = Clock::now() + std::chrono::milliseconds(out.restartMs);
    return finish(true, {});
}

}  // namespace zelmar::net
