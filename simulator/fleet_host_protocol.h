#pragma once
// What the fleet host and its clients say to each other (docs/simulator.md,
// "Fleet host"): one JSON object a line; each request names the SimFleet call
// in "op", each answer is {"ok": ...} or {"error": "..."}. A controller travels
// as in the fleet file, with its counters beside it.
#include <QJsonObject>

#include "simulator/fleet_backend.h"
#include "simulator/fleet_file.h"

namespace zelmar::sim::fleethost {

QJsonObject stateToJson(const SimControllerState& s);
SimControllerState stateFromJson(const QJsonObject& o);
QJsonObject statsToJson(const SimStats& s);
SimStats statsFromJson(const QJsonObject& o);

}  // namespace zelmar::sim::fleethost
