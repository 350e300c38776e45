#include "site/site_plan.h"

#include <QStringDecoder>
#include <algorithm>

#include "platform/netservice/wire/wire.h"
#include "platform/qorglib/serial_number.h"
#include "site/csv.h"

namespace zelmar::site {

namespace {
std::string trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    return std::string(t);
}

bool validUtf8(std::string_view text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    return !decoder.hasError();
}

// Spreadsheets also save CSV in the computer's 8-bit code page or as UTF-16;
// say so where the first such cell is, instead of reading wrong letters.
bool checkEncoding(std::string_view text, const csv::Table& table, std::vector<PlanProblem>& problems) {
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        problems.push_back({0, "", phrase(Say::FileIsUtf16)});
        return false;
    }
    if (validUtf8(text))
        return true;
    for (const csv::Record& r : table.records)
        for (const std::string& field : r.fields)
            if (!validUtf8(field)) {
                problems.push_back({r.row, "", phrase(Say::CellNotUtf8)});
                return false;
            }
    problems.push_back({0, "", phrase(Say::FileNotUtf8)});
    return false;
}

// Where a cell the reader refused is: its column's name from the header, or its place.
std::string fieldName(const csv::Table& table, int field) {
    if (field <= 0)
        return {};
    if (!table.records.empty() && table.records.front().row < table.errorRow &&
        std::size_t(field) <= table.records.front().fields.size()) {
        const std::string name = trimmed(table.records.front().fields[std::size_t(field - 1)]);
        if (columnNamed(name))
            return name;
    }
    return "column " + std::to_string(field);
}

// What keeps a serial number out of a search filter (too long, a control character); none when nothing.
Phrase serialNumberProblem(const std::string& serial) {
    namespace wire = net::wire;
    if (serial.size() > wire::textLimit(wire::TagSerialFilter))
        return phrase(Say::SerialTooLong, {std::to_string(wire::textLimit(wire::TagSerialFilter))});
    return wire::isCleanUtf8(serial) ? Phrase{} : phrase(Say::SerialNotClean);
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
                problems.push_back({header.row, name, phrase(Say::ColumnTwice)});
        columns.push_back(*column);
    }
    if (!unknown.empty())
        problems.push_back({header.row, "", phrase(Say::UnknownColumns, {unknown})});
    else if (std::find(columns.begin(), columns.end(), Column::SerialNo) == columns.end())
        problems.push_back({header.row, "", phrase(Say::NoSerialColumn)});
    return columns;
}
}  // namespace

SitePlan readPlan(std::string_view text) {
    SitePlan plan;
    const csv::Table table = csv::read(text);
    plan.format = {table.separator, text.substr(0, 3) == "\xEF\xBB\xBF"};
    if (!checkEncoding(text, table, plan.problems))
        return plan;
    if (!table.error.empty()) {
        plan.problems.push_back({table.errorRow, fieldName(table, table.errorField), table.error});
        return plan;
    }
    if (table.records.empty()) {
        plan.problems.push_back({0, "", phrase(Say::FileEmpty)});
        return plan;
    }
    const std::vector<Column> columns = readHeader(table.records.front(), plan.problems);
    if (!plan.problems.empty())
        return plan;

    plan.rowCount = table.records.size() - 1;
    if (plan.rowCount == 0)
        plan.problems.push_back({0, "", phrase(Say::NoRows)});
    std::map<std::string, int> rowOfSerial;  // keyed by the serial number's value where it has one
    for (std::size_t r = 1; r < table.records.size(); ++r) {
        const csv::Record& record = table.records[r];
        PlanRow row;
        row.row = record.row;
        if (record.fields.size() < columns.size()) {
            plan.problems.push_back({row.row, "",
                                     phrase(Say::FewerCells, {std::to_string(record.fields.size()), std::to_string(columns.size())})});
            continue;
        }
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
            const std::string value = i < columns.size() && keptAsTyped(columns[i]) ? record.fields[i]
                                                                                     : trimmed(record.fields[i]);
            if (value.empty())
                continue;
            if (i >= columns.size()) {
                plan.problems.push_back({row.row, "", phrase(Say::MoreCells)});
                break;
            }
            row.cells[columns[i]] = value;
        }
        const auto serial = row.cells.find(Column::SerialNo);
        if (serial == row.cells.end()) {
            plan.problems.push_back({row.row, "SerialNo", phrase(Say::NoSerial)});
            continue;
        }
        row.serialNo = serial->second;
        if (Phrase problem = serialNumberProblem(row.serialNo); !problem.empty()) {
            plan.problems.push_back({row.row, "SerialNo", std::move(problem)});
            continue;
        }
        const auto value = qorg::serialNumberValue(row.serialNo);
        const std::string key = value ? std::to_string(*value) : row.serialNo;
        if (const auto [it, added] = rowOfSerial.emplace(key, row.row); !added) {
            plan.problems.push_back({row.row, "SerialNo", phrase(Say::SerialTwice, {row.serialNo, std::to_string(it->second)})});
            continue;
        }
        plan.rows.push_back(std::move(row));
    }
    return plan;
}

std::string writePlan(const std::vector<PlanRow>& rows, const std::vector<Column>& columns, PlanFormat format) {
    std::vector<Column> header = {Column::SerialNo};
    for (Column c : columns)
        if (c != Column::SerialNo)
            header.push_back(c);
    std::vector<std::string> names;
    for (Column c : header)
        names.emplace_back(columnName(c));
    std::string text = (format.byteOrderMark ? "\xEF\xBB\xBF" : "") + csv::line(names, format.separator);
    for (const PlanRow& row : rows) {
        std::vector<std::string> cells;
        for (Column c : header) {
            const auto it = row.cells.find(c);
            cells.push_back(c == Column::SerialNo ? row.serialNo : it == row.cells.end() ? std::string() : it->second);
        }
        text += csv::line(cells, format.separator);
    }
    return text;
}

}  // namespace zelmar::site
