#pragma once
// Comma-separated values as RFC 4180 has them, and as spreadsheets write them:
// quoted fields with doubled quotes, line breaks inside quoted fields, CRLF,
// LF or CR line ends, a UTF-8 byte-order mark, and ";" as the separator
// (spreadsheets in locales with a decimal comma write that).
#include <string>
#include <string_view>
#include <vector>

#include "site/phrase.h"

namespace zelmar::site::csv {

struct Record {
    int row = 0;  // 1-based, as a spreadsheet numbers its rows (a quoted line break stays in its row)
    std::vector<std::string> fields;
};

struct Table {
    std::vector<Record> records;  // blank lines are left out, the rows keep their numbers
    char separator = ',';
    Phrase error;  // empty when the whole text was read
    int errorRow = 0;
    int errorField = 0;  // 1-based place of the field at fault in its row
};

// Reads a whole file. The separator is "," unless the first row holds more
// ";" than "," outside quotes. A quote inside a field that does not start
// with one, text after a closing quote and a quoted field left open at the
// end are errors naming the row and the field, as a spreadsheet refuses them.
Table read(std::string_view text);

// One field, quoted when it holds the separator, a quote or a line break.
std::string field(std::string_view value, char separator = ',');
// One record with its CRLF line end.
std::string line(const std::vector<std::string>& fields, char separator = ',');

}  // namespace zelmar::site::csv
