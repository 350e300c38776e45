#include "simulator/fleet_host_protocol.h"

namespace zelmar::sim::fleethost {

namespace {
struct Counter {
    const char* key;
    int SimControllerState::*member;
};
constexpr Counter kCounters[] = {
    {"searchesAnswered", &SimControllerState::searchesAnswered},
    {"setupsReceived", &SimControllerState::setupsReceived},
    {"setupsApplied", &SimControllerState::setupsApplied},
    {"setupsRejected", &SimControllerState::setupsRejected},
    {"setupRetransmits", &SimControllerState::setupRetransmits},
    {"checksReceived", &SimControllerState::checksReceived},
    {"markCount", &SimControllerState::markCount},
    {"unmarkCount", &SimControllerState::unmarkCount},
    {"upgradeStarts", &SimControllerState::upgradeStarts},
    {"upgradeBlocks", &SimControllerState::upgradeBlocks},
    {"upgradesApplied", &SimControllerState::upgradesApplied},
    {"upgradesRefused", &SimControllerState::upgradesRefused},
    {"sealedRequests", &SimControllerState::sealedRequests},
    {"wrongKeys", &SimControllerState::wrongKeys},
    {"replaysRefused", &SimControllerState::replaysRefused},
    {"rateLimited", &SimControllerState::rateLimited},
};

struct StatsField {
    const char* key;
    std::uint64_t SimStats::*member;
};
constexpr StatsField kStats[] = {
    {"received", &SimStats::received}, {"sent", &SimStats::sent},           {"lost", &SimStats::lost},
    {"unparsable", &SimStats::unparsable}, {"persisted", &SimStats::persisted},
};
}  // namespace

QJsonObject stateToJson(const SimControllerState& s) {
    QJsonObject o = controllerToJson(s);
    QJsonObject counters;
    for (const Counter& c : kCounters)
        counters[QLatin1String(c.key)] = s.*c.member;
    o["counters"] = counters;
    return o;
}

SimControllerState stateFromJson(const QJsonObject& o) {
    SimControllerState s = controllerFromJson(o);
    const QJsonObject counters = o.value("counters").toObject();
    for (const Counter& c : kCounters)
        s.*c.member = counters.value(QLatin1String(c.key)).toInt();
    return s;
}

QJsonObject statsToJson(const SimStats& s) {
    QJsonObject o;
    for (const StatsField& f : kStats)
        o[QLatin1String(f.key)] = double(s.*f.member);
    return o;
}

SimStats statsFromJson(const QJsonObject& o) {
    SimStats s;
    for (const StatsField& f : kStats)
        s.*f.member = std::uint64_t(o.value(QLatin1String(f.key)).toDouble());
    return s;
}

}  // namespace zelmar::sim::fleethost
