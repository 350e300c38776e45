#include "site/controller_upgrade.h"

#include <chrono>

#include "platform/netservice/net_service.h"
#include "site/pace_gate.h"
#include "site/revision.h"
#include "site/site_search.h"
#include "site/upgrade_work.h"

namespace zelmar::site {

namespace {
constexpr double kPaceUnitBytes = 1 << 20;  // a transfer weighs its image in MiB for the pace

ControllerUpgrade outcome(const ControllerRecord& found, UpgradeResult result, Phrase detail = {}) {
    return {found.serialNo, found.portOsType, found.portOsRevision, found.portOsRevision, result, std::move(detail)};
}

UpgradeResult resultOf(net::UpgradeVerdict verdict) {
    switch (verdict) {
    case net::UpgradeVerdict::Switched: return UpgradeResult::Upgraded;
    case net::UpgradeVerdict::Refused: return UpgradeResult::Refused;
    case net::UpgradeVerdict::NotCompleted: return UpgradeResult::Failed;
    case net::UpgradeVerdict::Unknown: return UpgradeResult::Unknown;
    }
    return UpgradeResult::Unknown;
}

// After a confirmed switch: what the controller runs once its restart is
// over. A lookup waits out the restart it announced; on a lossy link its
// answer may still be lost, so the lookups go on until the longest restart
// the service waits for is over.
ControllerUpgrade verified(net::NetService& service, const ControllerRecord& found, const std::string& revision) {
    const bool older = compareRevisions(revision, found.portOsRevision) == RevisionOrder::Older;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(service.config().upgradeRestartWaitMs);
    auto again = lookUpAnswering(service, found.serialNo);
    while (!again && std::chrono::steady_clock::now() < giveUp)
        again = lookUpAnswering(service, found.serialNo);
    if (!again)
        return outcome(found, UpgradeResult::Unknown, phrase(Say::SilentAfterRestart, {revision}));
    ControllerUpgrade u = outcome(found, older ? UpgradeResult::Downgraded : UpgradeResult::Upgraded);
    u.revisionAfter = again->PortOsRevision();
    if (u.revisionAfter != revision) {
        u.result = UpgradeResult::Failed;
        u.detail = phrase(Say::RunsOtherAfterRestart, {revision, u.revisionAfter});
    }
    return u;
}
}  // namespace

bool fileIsOlder(const ControllerRecord& found, const UpgradeFiles& files) {
    const UpgradeFiles::File* file = files.forType(found.portOsType);
    return file && compareRevisions(file->contents->Revision(), found.portOsRevision) == RevisionOrder::Older;
}

std::optional<ControllerUpgrade> upgradeNotNeeded(const ControllerRecord& found, const UpgradeFiles& files,
                                                  bool havePassword, bool allowOlder) {
    if (Phrase reason = identityOnlyReason(found, havePassword); !reason.empty())
        return outcome(found, UpgradeResult::Refused, reason.followedBy(phrase(Say::NothingSent)));
    const UpgradeFiles::File* file = files.forType(found.portOsType);
    if (!file)
        return outcome(found, UpgradeResult::NoFile, phrase(Say::NoFileForType, {std::to_string(found.portOsType)}));
    const std::string revision = file->contents->Revision();
    switch (compareRevisions(found.portOsRevision, revision)) {
    case RevisionOrder::Same: return outcome(found, UpgradeResult::Current);
    case RevisionOrder::Newer:
        if (!allowOlder)
            return outcome(found, UpgradeResult::Newer, phrase(Say::RunsNewer, {found.portOsRevision, revision}));
        break;
    case RevisionOrder::Older:
    case RevisionOrder::Different: break;
    }
    return std::nullopt;
}

ControllerUpgrade upgradeController(net::NetService& service, const ControllerRecord& found,
                                    const UpgradeFiles::File& file, UpgradeListener& listener, std::size_t slot,
                                    Turn& turn) {
    const std::string revision = file.contents->Revision();
    const auto entry = reach(service, found.serialNo);
    if (!entry) {
        turn.unanswered();
        return outcome(found, UpgradeResult::Failed, phrase(Say::NoLongerAnswers));
    }
    turn.weigh(double(file.contents->Image().size()) / kPaceUnitBytes);
    listener.transferring(slot, 0);
    const bool switched = entry->UpgradePortOs(*file.contents, [&](int percent) {
        listener.transferring(slot, percent);
        if (percent == 100)
            turn.quiet();  // every block acknowledged: the commit is one datagram, and the restart silence
    });
    if (!switched) {
        const UpgradeResult result = resultOf(entry->LastUpgradeVerdict());
        if (result == UpgradeResult::Failed)
            turn.unanswered();  // the transfer stalled
        return outcome(found, result, phrase(Say::TransferProblem, {entry->LastUpgradeProblem()}));
    }
    listener.restarting(slot);
    return verified(service, found, revision);
}

}  // namespace zelmar::site
