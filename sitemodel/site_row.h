#pragma once
// One row of the site table: a controller as last heard, the values planned
// for it, what the last check found wrong, and where its work stands.
#include <QString>
#include <array>
#include <optional>

#include "site/controller_record.h"

namespace zelmar::sitemodel {

// The settings a technician plans, each beside its present value.
enum class PlanField { Name, Description, UseDhcp, IpAddress, SubnetMask, Gateway, DnsServer, HostName, Domain, MainComputer };
constexpr int kPlanFieldCount = 10;
constexpr std::array<PlanField, kPlanFieldCount> kPlanFields = {
    PlanField::Name,     PlanField::Description, PlanField::UseDhcp,  PlanField::IpAddress, PlanField::SubnetMask,
    PlanField::Gateway,  PlanField::DnsServer,   PlanField::HostName, PlanField::Domain,    PlanField::MainComputer};

// Where a row's work stands, or how it ended.
enum class RowState {
    None,
    Problem,      // the check found something wrong in the row
    Locked,       // it requires encryption and the network password does not open it
    Waiting,      // to be worked on
    Writing,      // its setup is under way
    Verifying,    // read back
    Applied,
    Skipped,
    Refused,
    NoAnswer,
    Unverified,
    WaitingForHolder,  // its new address is still held: nothing sent
    Parked,            // on its parking address while its cycle was broken off: apply again
    NotStarted,        // stopped (or cut short) before it began: nothing sent
    Transferring,
    Restarting,
    Upgraded,
    Downgraded,
    Current,
    Newer,  // it runs a newer revision than its file: nothing sent
    NoFile,
    UpgradeRefused,
    Failed,
    Unknown,
    NotFound,
};

struct SiteRow {
    site::ControllerRecord now;  // as last heard; only the serial number for a row planned but not found
    bool found = false;
    std::optional<site::ControllerRecord> before;  // as found when the last apply or upgrade began
    std::array<QString, kPlanFieldCount> planned;  // empty: leave as it is
    std::array<QString, kPlanFieldCount> problems;  // what the last check found wrong with each
    QString rowProblem;                             // ... and with the row as a whole
    RowState state = RowState::None;
    QString detail;    // the outcome's detail, as the site work tells it
    int percent = -1;  // a running transfer's share acknowledged

    QString& plannedOf(PlanField f) { return planned[std::size_t(f)]; }
    const QString& plannedOf(PlanField f) const { return planned[std::size_t(f)]; }
    QString& problemOf(PlanField f) { return problems[std::size_t(f)]; }
    const QString& problemOf(PlanField f) const { return problems[std::size_t(f)]; }
    bool hasPlan() const;
    bool hasProblem() const;
};

// A field's present value as the table shows it (DHCP as the catalogue's Yes/No).
QString presentValue(const site::ControllerRecord& record, PlanField field);
// The same as a plan cell holds it ("true"/"false" for DHCP).
QString presentPlanValue(const site::ControllerRecord& record, PlanField field);

}  // namespace zelmar::sitemodel
