#include "platform/netservice/crypto/sealed_read_pass.h"

#include <algorithm>

#include "platform/netservice/crypto/sealed_reads.h"
#include "platform/netservice/transport/wait_until.h"

namespace zelmar::net {

using wire::Message;
using wire::MsgType;
using Clock = std::chrono::steady_clock;

namespace {

class ReadPass {
public:
    ReadPass(ServicePort& port, CryptoSessions& sessions, ControllerBook& book)
        : port_(port), sessions_(sessions), book_(book) {}

    void run() {
        start();
        const auto deadline = Clock::now() + std::chrono::milliseconds(port_.config().lookupTimeoutMs);
        while (reads_.open() > 0 && Clock::now() < deadline) {
            const auto due = sendDue(deadline);
            port_.waitReadable(std::min(msUntil(due), msUntil(deadline)));
            takeReplies(deadline);
        }
    }

private:
    void start() {
        for (const std::int32_t index : sessions_.takeReadsDue()) {
            Message read;
            read.type = MsgType::Read;
            read.requestId = port_.newRequestId();
            auto bytes = sessions_.encode(index, read);  // sealed: it requires encryption
            if (bytes.empty())
                continue;
            reads_.add({index, std::move(bytes), read.requestId,
                        ResendBackoff(port_.config().retransmitMs, Clock::now())},
                       book_.at(index).info.ethernet);
        }
    }

    // Sends the reads that are due; returns when the next one is.
    Clock::time_point sendDue(Clock::time_point deadline) {
        auto due = deadline;
        for (SealedReads::Read& read : reads_.reads()) {
            if (read.done)
                continue;
            PendingRequest& request = read.request;
            if (request.resend.due(Clock::now())) {
                port_.send(book_.at(request.index).source, request.bytes);
                request.resend.sent(Clock::now());
                if (++sent_ % 64 == 0)
                    port_.waitReadable(0);  // let the first answers in while a long list goes out
            }
            due = std::min(due, request.resend.next);
        }
        return due;
    }

    // Takes the answers waiting.
    void takeReplies(Clock::time_point deadline) {
        Message msg;
        platform::Endpoint from;
        bool usable = false;
        int taken = 0;
        while (reads_.open() > 0 && port_.receiveOne(msg, from, usable)) {
            if (++taken % 256 == 0 && Clock::now() >= deadline)
                break;
            if (!usable)
                continue;
            SealedReads::Read* read = reads_.answeredBy(msg);
            if (!read) {
                ++port_.counters().datagramsDropped;
                continue;
            }
            const std::uint32_t oldId = read->request.requestId;
            const auto action = sessions_.replyAction(msg, read->request, [this] { return port_.newRequestId(); });
            if (action == crypto::ReplyAction::Resent)
                reads_.renumbered(*read, oldId);
            if (action != crypto::ReplyAction::Take)
                continue;
            reads_.finish(*read);
            ControllerRecord& r = book_.at(read->request.index);
            r.source = from;
            if (auto info = sealedDescription(msg, r.info.ethernet))
                r.info = std::move(*info);
            else
                r.info.passwordOk = false;  // refused: none of the passwords opens it
        }
    }

    ServicePort& port_;
    CryptoSessions& sessions_;
    ControllerBook& book_;
    SealedReads reads_;
    std::size_t sent_ = 0;
};

}  // namespace

void readSealedDescriptions(ServicePort& port, CryptoSessions& sessions, ControllerBook& book) {
    ReadPass(port, sessions, book).run();
}

}  // namespace zelmar::net
