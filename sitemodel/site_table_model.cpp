#include "sitemodel/site_table_model.h"

#include <QBrush>
#include <QColor>

#include "platform/netservice/wire/ipv4.h"
#include "platform/netservice/wire/messages.h"
#include "platform/qorglib/serial_number.h"
#include "sitemodel/plan_table.h"
#include "sitemodel/site_texts.h"
#include "support/support.h"
#include "support/vbool.h"

namespace zelmar::sitemodel {

namespace {
using Kind = SiteTableModel::Kind;

const QColor kPlannedChange(255, 241, 189);  // a planned value that differs from the present one
const QColor kProblem(255, 205, 205);
const QColor kDone(208, 238, 208);
const QColor kWorking(210, 226, 250);
const QColor kNotDone(255, 224, 178);

bool isAddress(PlanField f) {
    return f == PlanField::IpAddress || f == PlanField::SubnetMask || f == PlanField::Gateway ||
           f == PlanField::DnsServer;
}

// An address "0.0.0.0" shows empty, as in the search list.
QString shownAddress(const QString& a) { return a == QLatin1String("0.0.0.0") ? QString() : a; }

QColor stateColour(RowState s) {
    switch (s) {
    case RowState::Applied:
    case RowState::Skipped:
    case RowState::Upgraded:
    case RowState::Downgraded:
    case RowState::Current:
    case RowState::Newer: return kDone;
    case RowState::Waiting:
    case RowState::Writing:
    case RowState::Verifying:
    case RowState::Transferring:
    case RowState::Restarting: return kWorking;
    case RowState::None: return {};
    case RowState::Problem:
    case RowState::Refused:
    case RowState::UpgradeRefused:
    case RowState::Failed: return kProblem;
    default: return kNotDone;
    }
}

bool differsFromPresent(const SiteRow& row, PlanField f) {
    const QString& planned = row.plannedOf(f);
    if (planned.isEmpty())
        return false;
    if (!row.found)
        return true;
    const QString present = presentPlanValue(row.now, f);
    if (isAddress(f)) {
        const auto a = net::ipv4::parse(planned.toStdString()), b = net::ipv4::parse(present.toStdString());
        const auto ma = net::ipv4::parseMask(planned.toStdString());
        if (f == PlanField::SubnetMask)
            return !(ma && b && *ma == *b);
        return !(a && b && *a == *b);
    }
    return planned != present;
}

QString plannedShown(PlanField f, const QString& planned) {
    if (f == PlanField::UseDhcp && !planned.isEmpty())
        return support::GetCodeName(toVBool(planned == QLatin1String("true")));
    return planned;
}
}  // namespace

const std::vector<SiteTableModel::ColumnSpec>& SiteTableModel::columns() {
    static const std::vector<ColumnSpec> specs = {
        {Kind::SerialNo, PlanField::Name, TextHeaderSerialNo},
        {Kind::State, PlanField::Name, TextHeaderState},
        {Kind::Present, PlanField::Name, TextHeaderName},
        {Kind::Planned, PlanField::Name, TextHeaderPlannedName},
        {Kind::Present, PlanField::Description, TextHeaderDescription},
        {Kind::Planned, PlanField::Description, TextHeaderPlannedDescription},
        {Kind::Present, PlanField::UseDhcp, TextHeaderDhcp},
        {Kind::Planned, PlanField::UseDhcp, TextHeaderPlannedDhcp},
        {Kind::Present, PlanField::IpAddress, TextHeaderIpAddress},
        {Kind::Planned, PlanField::IpAddress, TextHeaderPlannedIpAddress},
        {Kind::Present, PlanField::SubnetMask, TextHeaderSubnetMask},
        {Kind::Planned, PlanField::SubnetMask, TextHeaderPlannedSubnetMask},
        {Kind::Present, PlanField::Gateway, TextHeaderGateway},
        {Kind::Planned, PlanField::Gateway, TextHeaderPlannedGateway},
        {Kind::Present, PlanField::DnsServer, TextHeaderDnsServer},
        {Kind::Planned, PlanField::DnsServer, TextHeaderPlannedDnsServer},
        {Kind::Present, PlanField::HostName, TextHeaderHostName},
        {Kind::Planned, PlanField::HostName, TextHeaderPlannedHostName},
        {Kind::Present, PlanField::Domain, TextHeaderDomain},
        {Kind::Planned, PlanField::Domain, TextHeaderPlannedDomain},
        {Kind::Present, PlanField::MainComputer, TextHeaderMainComputer},
        {Kind::Planned, PlanField::MainComputer, TextHeaderPlannedMainComputer},
        {Kind::Ethernet, PlanField::Name, TextHeaderEthernet},
        {Kind::PortOsType, PlanField::Name, TextHeaderPortOsType},
        {Kind::Revision, PlanField::Name, TextHeaderRevision},
        {Kind::Encryption, PlanField::Name, TextHeaderEncryption},
    };
    return specs;
}

int SiteTableModel::plannedColumn(PlanField field) {
    const auto& specs = columns();
    for (std::size_t c = 0; c < specs.size(); ++c)
        if (specs[c].kind == Kind::Planned && specs[c].field == field)
            return int(c);
    return -1;
}

int SiteTableModel::stateColumn() { return 1; }

bool SiteTableModel::holdsAddresses(int column) {
    if (column < 0 || std::size_t(column) >= columns().size())
        return false;
    const ColumnSpec& c = columns()[std::size_t(column)];
    return (c.kind == Kind::Present || c.kind == Kind::Planned) && isAddress(c.field);
}

SiteTableModel::SiteTableModel(QObject* parent) : QAbstractTableModel(parent), headers_(columns().size()) {}

void SiteTableModel::loadHeaderTexts() {
    for (std::size_t c = 0; c < columns().size(); ++c)
        headers_[c] = text(Text(columns()[c].header));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

std::vector<std::string> SiteTableModel::foundSerials(const std::vector<int>* rows) const {
    std::vector<std::string> serials;
    auto take = [&](const SiteRow& r) {
        if (r.found)
            serials.push_back(r.now.serialNo);
    };
    if (!rows)
        std::for_each(rows_.begin(), rows_.end(), take);
    else
        for (int r : *rows)
            take(rows_.at(std::size_t(r)));
    return serials;
}

int SiteTableModel::rowOfSerial(const std::string& serial) const {
    const auto it = rowOfSerial_.find(serial);
    return it == rowOfSerial_.end() ? -1 : it->second;
}

namespace {
// The rows keep one order from search to search: by serial number, as the
// technician reads them (by their value, "9-00001" before "10-00001"; any other text after them).
bool serialBefore(const std::string& a, const std::string& b) {
    const auto va = qorg::serialNumberValue(a), vb = qorg::serialNumberValue(b);
    if (va && vb)
        return *va < *vb || (*va == *vb && a < b);
    if (va != vb)
        return va.has_value();
    return a < b;
}
}  // namespace

void SiteTableModel::sortBySerial() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const SiteRow& a, const SiteRow& b) { return serialBefore(a.now.serialNo, b.now.serialNo); });
}

void SiteTableModel::reindex() {
    rowOfSerial_.clear();
    for (std::size_t r = 0; r < rows_.size(); ++r)
        rowOfSerial_.emplace(rows_[r].now.serialNo, int(r));
}

int SiteTableModel::appendOrUpdate(const site::ControllerRecord& record) {
    const int existing = rowOfSerial(record.serialNo);
    if (existing >= 0) {
        SiteRow& row = rows_[std::size_t(existing)];
        row.now = record;
        row.found = true;
        row.state = record.requireEncryption && !record.passwordOk ? RowState::Locked
                    : row.state == RowState::Locked               ? RowState::None
                                                                  : row.state;
        rowChanged(existing);
        return existing;
    }
    SiteRow row;
    row.now = record;
    row.found = true;
    if (record.requireEncryption && !record.passwordOk)
        row.state = RowState::Locked;
    const auto at = std::upper_bound(rows_.begin(), rows_.end(), record.serialNo, [](const std::string& serial, const SiteRow& r) {
        return serialBefore(serial, r.now.serialNo);
    });
    const int place = int(at - rows_.begin());
    beginInsertRows({}, place, place);
    rows_.insert(at, std::move(row));
    reindex();
    endInsertRows();
    return place;
}

void SiteTableModel::setControllers(const std::vector<site::ControllerRecord>& found) {
    beginResetModel();
    // What the technician planned and the work told stays with its controller.
    std::vector<SiteRow> kept;
    std::unordered_map<std::string, std::size_t> keptBySerial;
    for (SiteRow& r : rows_)
        if (r.hasPlan() || r.state != RowState::None || r.before) {
            keptBySerial.emplace(r.now.serialNo, kept.size());
            kept.push_back(std::move(r));
        }
    std::vector<bool> taken(kept.size(), false);
    rows_.clear();
    rows_.reserve(found.size() + kept.size());
    for (const site::ControllerRecord& record : found) {
        SiteRow row;
        row.now = record;
        row.found = true;
        if (record.requireEncryption && !record.passwordOk)
            row.state = RowState::Locked;
        if (const auto it = keptBySerial.find(record.serialNo); it != keptBySerial.end() && !taken[it->second]) {
            const SiteRow& before = kept[it->second];
            taken[it->second] = true;
            row.planned = before.planned;
            row.before = before.before;
            if (row.state != RowState::Locked && before.state != RowState::Locked)
                row.state = before.state, row.detail = before.detail;  // how its last work ended
        }
        rows_.push_back(std::move(row));
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {  // planned, but not heard this time
        SiteRow& planOnly = kept[k];
        if (taken[k] || !planOnly.hasPlan())
            continue;
        const std::string serial = planOnly.now.serialNo;
        planOnly.found = false;
        planOnly.now = site::ControllerRecord{};
        planOnly.now.serialNo = serial;
        rows_.push_back(std::move(planOnly));
    }
    sortBySerial();
    reindex();
    endResetModel();
}

void SiteTableModel::addControllers(const std::vector<site::ControllerRecord>& found) {
    for (const site::ControllerRecord& record : found)
        appendOrUpdate(record);
}

void SiteTableModel::loadPlan(const site::SitePlan& plan) {
    beginResetModel();
    for (SiteRow& r : rows_)
        r.planned = {};
    for (const site::PlanRow& p : plan.rows) {
        int r = -1;  // a plan may spell the serial number another way ("1000001" for "10-00001")
        for (std::size_t i = 0; i < rows_.size() && r < 0; ++i)
            if (net::wire::serialMatches(p.serialNo, rows_[i].now.serialNo))
                r = int(i);
        if (r < 0) {
            SiteRow row;
            row.now.serialNo = p.serialNo;
            rows_.push_back(std::move(row));
            r = int(rows_.size()) - 1;
        }
        rows_[std::size_t(r)].planned = plannedValuesOf(p);
    }
    sortBySerial();
    reindex();
    ++planVersion_;
    clearProblems();
    endResetModel();
    emit planChanged();
}

bool SiteTableModel::setPlanned(int row, PlanField field, const QString& typed, QString& problem) {
    if (row < 0 || row >= int(rows_.size()))
        return false;
    SiteRow& r = rows_[std::size_t(row)];
    const std::optional<QString> value = acceptPlanned(r, field, typed, problem);
    if (!value)
        return false;
    if (r.plannedOf(field) == *value)
        return true;
    r.plannedOf(field) = *value;
    r.problemOf(field).clear();
    ++planVersion_;
    rowChanged(row);
    emit planChanged();
    return true;
}

void SiteTableModel::clearProblems() {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        SiteRow& row = rows_[r];
        if (!row.hasProblem() && row.state != RowState::Problem)
            continue;
        row.problems = {};
        row.rowProblem.clear();
        if (row.state == RowState::Problem)
            row.state = RowState::None;
        rowChanged(int(r));
    }
}

void SiteTableModel::showProblems(const std::vector<site::PlanProblem>& problems,
                                  const std::map<int, std::string>& serialOfRow) {
    clearProblems();
    for (const site::PlanProblem& p : problems) {
        const auto serial = serialOfRow.find(p.row);
        if (serial == serialOfRow.end())
            continue;
        const int r = rowOfSerial(serial->second);
        if (r < 0)
            continue;
        SiteRow& row = rows_[std::size_t(r)];
        const QString text = wordsOf(p.what, rowNamerOf(serialOfRow));
        if (const auto field = fieldOfColumn(p.column)) {
            QString& cell = row.problemOf(*field);
            cell = cell.isEmpty() ? text : cell + QLatin1Char('\n') + text;
        } else {
            row.rowProblem = row.rowProblem.isEmpty() ? text : row.rowProblem + QLatin1Char('\n') + text;
        }
        row.state = RowState::Problem;
        rowChanged(r);
    }
}

void SiteTableModel::setState(const std::string& serial, RowState state, const QString& detail, int percent) {
    const int r = rowOfSerial(serial);
    if (r < 0)
        return;
    SiteRow& row = rows_[std::size_t(r)];
    row.state = state;
    row.detail = detail;
    row.percent = percent;
    const QModelIndex cell = index(r, stateColumn());
    emit dataChanged(cell, cell);
}

void SiteTableModel::showOutcome(const site::RowOutcome& o) {
    static const std::map<site::Outcome, RowState> states = {
        {site::Outcome::Applied, RowState::Applied},       {site::Outcome::Skipped, RowState::Skipped},
        {site::Outcome::Refused, RowState::Refused},       {site::Outcome::NoAnswer, RowState::NoAnswer},
        {site::Outcome::Unverified, RowState::Unverified}, {site::Outcome::Waiting, RowState::WaitingForHolder},
        {site::Outcome::Parked, RowState::Parked}};
    QString detail = wordsOf(o.detail);
    if (!o.column.empty())
        detail = columnCaption(o.column) + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    setState(o.serialNo, states.at(o.outcome), detail);
}

void SiteTableModel::showUpgrade(const site::ControllerUpgrade& u) {
    static const std::map<site::UpgradeResult, RowState> states = {
        {site::UpgradeResult::Upgraded, RowState::Upgraded}, {site::UpgradeResult::Current, RowState::Current},
        {site::UpgradeResult::Downgraded, RowState::Downgraded}, {site::UpgradeResult::Newer, RowState::Newer},
        {site::UpgradeResult::NoFile, RowState::NoFile},     {site::UpgradeResult::Refused, RowState::UpgradeRefused},
        {site::UpgradeResult::Failed, RowState::Failed},     {site::UpgradeResult::Unknown, RowState::Unknown},
        {site::UpgradeResult::NotFound, RowState::NotFound}};
    const int r = rowOfSerial(u.serialNo);
    if (r >= 0 && !u.revisionAfter.empty())
        rows_[std::size_t(r)].now.portOsRevision = u.revisionAfter;
    setState(u.serialNo, states.at(u.result), detailWords(u));
    if (r >= 0)
        rowChanged(r);
}

void SiteTableModel::rememberBefore(const std::vector<std::string>& serials) {
    for (const std::string& s : serials)
        if (const int r = rowOfSerial(s); r >= 0)
            rows_[std::size_t(r)].before = rows_[std::size_t(r)].now;
}

int SiteTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int SiteTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(columns().size()); }

QString SiteTableModel::stateText(RowState s) {
    switch (s) {
    case RowState::None: return {};
    case RowState::Problem: return text(TextStateProblem);
    case RowState::Locked: return text(TextStateLocked);
    case RowState::Waiting:
    case RowState::WaitingForHolder: return text(TextStateWaiting);
    case RowState::Writing: return text(TextStateWriting);
    case RowState::Verifying: return text(TextStateVerifying);
    case RowState::Applied: return text(TextStateApplied);
    case RowState::Skipped: return text(TextStateSkipped);
    case RowState::Refused:
    case RowState::UpgradeRefused: return text(TextStateRefused);
    case RowState::NoAnswer: return text(TextStateNoAnswer);
    case RowState::Unverified: return text(TextStateUnverified);
    case RowState::NotStarted: return text(TextStateNotStarted);
    case RowState::Parked: return text(TextStateParked);
    case RowState::Transferring: return text(TextStateTransferring);
    case RowState::Restarting: return text(TextStateRestarting);
    case RowState::Upgraded: return text(TextStateUpgraded);
    case RowState::Current: return text(TextStateCurrent);
    case RowState::Downgraded: return text(TextStateDowngraded);
    case RowState::Newer: return text(TextStateNewer);
    case RowState::NoFile: return text(TextStateNoFile);
    case RowState::Failed: return text(TextStateFailed);
    case RowState::Unknown: return text(TextStateUnknown);
    case RowState::NotFound: return text(TextStateNotFound);
    }
    return {};
}

QVariant SiteTableModel::display(const SiteRow& row, const ColumnSpec& c) const {
    const site::ControllerRecord& r = row.now;
    switch (c.kind) {
    case Kind::SerialNo: return QString::fromStdString(r.serialNo);
    case Kind::Ethernet: return QString::fromStdString(r.ethernetAddress);
    case Kind::Present: {
        if (!row.found)
            return {};
        const QString v = presentValue(r, c.field);
        return isAddress(c.field) ? shownAddress(v) : v;
    }
    case Kind::Planned: return plannedShown(c.field, row.plannedOf(c.field));
    case Kind::PortOsType: return row.found ? QVariant(int(r.portOsType)) : QVariant();
    case Kind::Revision: return QString::fromStdString(r.portOsRevision);
    case Kind::Encryption: return row.found ? support::GetCodeName(toVBool(r.requireEncryption)) : QString();
    case Kind::State: {
        const QString state = stateText(row.state);
        if (row.state == RowState::Transferring && row.percent >= 0)
            return state + QStringLiteral(" %1 %").arg(row.percent);
        return state;
    }
    }
    return {};
}

QVariant SiteTableModel::toolTip(const SiteRow& row, const ColumnSpec& c) const {
    if (c.kind == Kind::Planned && !row.problemOf(c.field).isEmpty())
        return row.problemOf(c.field);
    if (c.kind == Kind::State) {
        QStringList lines;
        if (!row.rowProblem.isEmpty())
            lines << row.rowProblem;
        for (PlanField f : kPlanFields)
            if (!row.problemOf(f).isEmpty())
                lines << row.problemOf(f);
        if (!row.detail.isEmpty())
            lines << row.detail;
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
    return {};
}

QVariant SiteTableModel::background(const SiteRow& row, const ColumnSpec& c) const {
    if (c.kind == Kind::Planned) {
        if (!row.problemOf(c.field).isEmpty())
            return QBrush(kProblem);
        if (differsFromPresent(row, c.field))
            return QBrush(kPlannedChange);
    }
    if (c.kind == Kind::State && row.state != RowState::None)
        return QBrush(stateColour(row.state));
    return {};
}

QVariant SiteTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size()) || index.column() >= columnCount())
        return {};
    const SiteRow& row = rows_[std::size_t(index.row())];
    const ColumnSpec& c = columns()[std::size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole: return display(row, c);
    case Qt::EditRole: return c.kind == Kind::Planned ? QVariant(row.plannedOf(c.field)) : display(row, c);
    case Qt::ToolTipRole: return toolTip(row, c);
    case Qt::BackgroundRole: return background(row, c);
    case Qt::DecorationRole:
        return c.kind == Kind::SerialNo && !rowIcon_.isNull() ? QVariant(rowIcon_) : QVariant();
    case SortRole: return sortKey(row, c);
    default: return {};
    }
}

// Addresses by their value, read straight from the record (sorting asks often).
QVariant SiteTableModel::sortKey(const SiteRow& row, const ColumnSpec& c) const {
    if (!isAddress(c.field) || (c.kind != Kind::Present && c.kind != Kind::Planned))
        return display(row, c);
    const site::ControllerRecord& r = row.now;
    const std::string* present = c.field == PlanField::IpAddress    ? &r.ipAddress
                                 : c.field == PlanField::SubnetMask ? &r.subnetMask
                                 : c.field == PlanField::Gateway    ? &r.gateway
                                                                    : &r.dnsServer;
    const auto v = c.kind == Kind::Present ? net::ipv4::parse(*present)
                                           : net::ipv4::parse(row.plannedOf(c.field).toStdString());
    return qulonglong(v.value_or(0));
}

bool SiteTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    QString problem;
    if (setPlanned(index.row(), columns()[std::size_t(index.column())].field, value.toString(), problem))
        return true;
    emit editRefused(index, value.toString(), problem);
    return false;
}

QVariant SiteTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return headers_[std::size_t(section)];
}

Qt::ItemFlags SiteTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_ && columns()[std::size_t(index.column())].kind == Kind::Planned)
        f |= Qt::ItemIsEditable;
    return f;
}

void SiteTableModel::rowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

}  // namespace zelmar::sitemodel
