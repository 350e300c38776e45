#pragma once
// A site's address plan: the CSV export of a search, edited in a
// spreadsheet. One row per controller, keyed by serial number; an empty cell
// leaves that setting as it is. Columns come in any order.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "site/controller_record.h"
#include "site/phrase.h"

namespace zelmar::site {

// One thing wrong with a plan, where the technician finds it in the sheet.
struct PlanProblem {
    int row = 0;         // spreadsheet row (the header is row 1); 0: the file as a whole
    std::string column;  // empty: the row as a whole
    Phrase what;
    std::string text() const { return english(what); }
};

struct PlanRow {
    int row = 0;
    std::string serialNo;
    std::map<Column, std::string> cells;  // only the cells that hold something
};

// How a plan file is written: its separator and whether it starts with a byte-order mark.
struct PlanFormat {
    char separator = ',';
    bool byteOrderMark = false;
};

struct SitePlan {
    std::vector<PlanRow> rows;
    PlanFormat format;  // as the file was written, so that saving it again keeps it
    std::size_t rowCount = 0;  // rows below the header, those at fault included
    std::vector<PlanProblem> problems;  // of the file itself: CSV syntax, columns, serial numbers
};

// Reads a plan from the text of its file. Texts (Name, Description) are taken
// as they are; blanks around the other cells are ignored.
SitePlan readPlan(std::string_view text);

// The text of a plan file with these columns (SerialNo first, whether listed
// or not) and one line per row: what readPlan reads back as the same rows.
std::string writePlan(const std::vector<PlanRow>& rows, const std::vector<Column>& columns, PlanFormat format = {});

}  // namespace zelmar::site
