#include "site/csv.h"

namespace zelmar::site::csv {

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The separator the file uses, judged by its first row.
char detectSeparator(std::string_view text) {
    int commas = 0, semicolons = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == ',')
            ++commas;
        else if (!quoted && c == ';')
            ++semicolons;
    }
    return semicolons > commas ? ';' : ',';
}

bool blank(const Record& r) {
    return r.fields.size() == 1 && r.fields.front().empty();
}

// A quoted field from its opening quote at text[i] up to the quote that is not doubled;
// i ends after it. What is wrong with it, or nullptr.
// Reads a quoted field from its opening quote; what is wrong with it (None: nothing).
Say readQuotedField(std::string_view text, std::size_t& i, char sep, std::string& out) {
    ++i;
    for (;;) {
        if (i >= text.size())
            return Say::QuoteNotClosed;
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                out += '"';
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        out += text[i++];
    }
    if (i < text.size() && text[i] != sep && text[i] != '\n' && text[i] != '\r')
        return Say::TextAfterQuote;
    return Say::None;
}
}  // namespace

Table read(std::string_view text) {
    Table table;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    const char sep = table.separator = detectSeparator(text);

    Record record{1, {std::string()}};
    auto endRecord = [&] {
        if (!blank(record))
            table.records.push_back(std::move(record));
        record = Record{record.row + 1, {std::string()}};
    };
    std::size_t i = 0;
    bool fieldStart = true;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            const Say problem = fieldStart ? readQuotedField(text, i, sep, record.fields.back()) : Say::BareQuote;
            if (problem != Say::None) {
                table.error = phrase(problem);
                table.errorRow = record.row;
                table.errorField = int(record.fields.size());
                return table;
            }
            fieldStart = false;
            continue;
        }
        if (c == sep) {
            record.fields.emplace_back();
            fieldStart = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endRecord();
            fieldStart = true;
        } else {
            record.fields.back() += c;
            fieldStart = false;
        }
        ++i;
    }
    endRecord();
    return table;
}

std::string field(std::string_view value, char separator) {
    if (value.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos)
        return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string line(const std::vector<std::string>& fields, char separator) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += separator;
        out += field(fields[i], separator);
    }
    return out + "\r\n";
}

}  // namespace zelmar::site::csv
