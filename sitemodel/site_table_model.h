#pragma once
// The site table: one row per controller (those a search found, and those a
// plan names that were not found): its serial number and where its work
// stands, then each plannable value with the planned one beside it, and the
// Ethernet address, port OS type and revision and whether it requires
// encryption. Planned
// cells are edited in place and judged by the controllers' rules as typed; a
// planned value that differs from the present one is marked.
#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <map>
#include <unordered_map>
#include <vector>

#include "site/plan_outcome.h"
#include "site/site_plan.h"
#include "site/upgrade_outcome.h"
#include "sitemodel/site_row.h"

namespace zelmar::sitemodel {

class SiteTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { SerialNo, Ethernet, Present, Planned, PortOsType, Revision, Encryption, State };
    struct ColumnSpec {
        Kind kind;
        PlanField field;  // Present and Planned columns
        std::int32_t header;
    };
    static const std::vector<ColumnSpec>& columns();
    // The column of a field's planned value.
    static int plannedColumn(PlanField field);
    static int stateColumn();
    static bool holdsAddresses(int column);  // IP address, mask, gateway or DNS server, present or planned

    // A sort key, where it differs from the text shown: addresses by their value.
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit SiteTableModel(QObject* parent = nullptr);

    void loadHeaderTexts();
    void setRowIcon(const QIcon& icon) { rowIcon_ = icon; }

    // A full search: the rows of the controllers found, in the order found,
    // and the rows planned for controllers not found; planned values stay.
    void setControllers(const std::vector<site::ControllerRecord>& found);
    // Controllers found by address: a row each, new ones at the end.
    void addControllers(const std::vector<site::ControllerRecord>& found);

    // The planned values of a plan file, in place of those in the table; a
    // serial number not in the table gets a row of its own.
    void loadPlan(const site::SitePlan& plan);
    // The rows as they stand (for the plan, the report and the tests).
    const std::vector<SiteRow>& rows() const { return rows_; }
    int rowOfSerial(const std::string& serial) const;  // -1: none
    // The serial numbers of the controllers found among `rows` (all rows when none are given), in that order.
    std::vector<std::string> foundSerials(const std::vector<int>* rows = nullptr) const;

    // Sets a planned value as typed; false with `problem` saying why it was refused.
    bool setPlanned(int row, PlanField field, const QString& typed, QString& problem);
    // Counts every change of a planned value: a check is good for the version it checked.
    int planVersion() const { return planVersion_; }

    // What a check found: problems by plan row (`serialOfRow` numbers them); the old ones go.
    void showProblems(const std::vector<site::PlanProblem>& problems, const std::map<int, std::string>& serialOfRow);
    void clearProblems();

    // Where the rows' work stands.
    void setState(const std::string& serial, RowState state, const QString& detail = {}, int percent = -1);
    void showOutcome(const site::RowOutcome& outcome);
    void showUpgrade(const site::ControllerUpgrade& upgrade);
    // Keeps each listed row's present values as its "before" for the report.
    void rememberBefore(const std::vector<std::string>& serials);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Editing is off while work runs.
    void setEditable(bool editable) { editable_ = editable; }

    static QString stateText(RowState state);

signals:
    // A planned value changed (planVersion counts it).
    void planChanged();
    // A planned value typed into the table was refused, and why.
    void editRefused(const QModelIndex& index, const QString& typed, const QString& problem);

private:
    QVariant display(const SiteRow& row, const ColumnSpec& column) const;
    QVariant toolTip(const SiteRow& row, const ColumnSpec& column) const;
    QVariant background(const SiteRow& row, const ColumnSpec& column) const;
    QVariant sortKey(const SiteRow& row, const ColumnSpec& column) const;
    void rowChanged(int row);
    int appendOrUpdate(const site::ControllerRecord& record);

    void reindex();
    void sortBySerial();

    std::vector<SiteRow> rows_;
    std::unordered_map<std::string, int> rowOfSerial_;  // by the serial number as the row holds it
    std::vector<QString> headers_;
    QIcon rowIcon_;
    int planVersion_ = 0;
    bool editable_ = true;
};

}  // namespace zelmar::sitemodel
