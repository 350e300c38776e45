#include "tools/netctl/site_plan.h"

#include <algorithm>

#include "platform/netservice/messages.h"
#include "tools/netctl/csv.h"

namespace zelmar::netctl {

namespace {
std::string trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return std::string(t);
}

bool keptAsTyped(Column c) {
    return c == Column::Name || c == Column::Description;
}

// The columns of the header row, or problems naming what is wrong with it.
std::vector<Column> readHeader(const csv::Record& header, std::vector<PlanProblem>& problems) {
    std::vector<Column> columns;
    std::string unknown;
    for (const std::string& raw : header.fields) {
        const std::string name = trimmed(raw);
        const auto column = columnNamed(name);
        if (!column) {
            unknown += (unknown.empty() ? "" : ", ") + (name.empty() ? std::string("(empty)") : name);
            continue;
        }
        for (Column seen : columns)
            if (seen == *column)
                problems.push_back({header.row, name, "the column is there twice"});
        columns.push_back(*column);
    }
    if (!unknown.empty())
        problems.push_back({header.row, "", "unknown columns: " + unknown});
    else if (std::find(columns.begin(), columns.end(), Column::SerialNo) == columns.end())
        problems.push_back({header.row, "", "no SerialNo column: rows are matched to controllers by serial number"});
    return columns;
}
}  // namespace

SitePlan readPlan(std::string_view text) {
    SitePlan plan;
    const csv::Table table = csv::read(text);
    if (!table.error.empty()) {
        plan.problems.push_back({table.errorRow, "", table.error});
        return plan;
    }
    if (table.records.empty()) {
        plan.problems.push_back({0, "", "the file is empty"});
        return plan;
    }
    const std::vector<Column> columns = readHeader(table.records.front(), plan.problems);
    if (!plan.problems.empty())
        return plan;

    plan.rowCount = table.records.size() - 1;
    std::map<std::string, int> rowOfSerial;  // keyed by the serial number's value where it has one
    for (std::size_t r = 1; r < table.records.size(); ++r) {
        const csv::Record& record = table.records[r];
        PlanRow row;
        row.row = record.row;
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
            const std::string value = i < columns.size() && keptAsTyped(columns[i]) ? record.fields[i]
                                                                                     : trimmed(record.fields[i]);
            if (value.empty())
                continue;
            if (i >= columns.size()) {
                plan.problems.push_back({row.row, "", "more cells than the header has columns"});
                break;
            }
            row.cells[columns[i]] = value;
        }
        const auto serial = row.cells.find(Column::SerialNo);
        if (serial == row.cells.end()) {
            plan.problems.push_back({row.row, "SerialNo", "no serial number"});
            continue;
        }
        row.serialNo = serial->second;
        const auto value = net::wire::serialValue(row.serialNo);
        const std::string key = value ? std::to_string(*value) : row.serialNo;
        if (const auto [it, added] = rowOfSerial.emplace(key, row.row); !added) {
            plan.problems.push_back(
                {row.row, "SerialNo", row.serialNo + " is planned in row " + std::to_string(it->second) + " too"});
            continue;
        }
        plan.rows.push_back(std::move(row));
    }
    return plan;
}

}  // namespace zelmar::netctl
