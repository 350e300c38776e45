// The texts catalogue: "<file>.<language>.txt", UTF-8, one "NUMBER text" entry
// a line. Read anew on every call, so a changed file shows at once.
#include "platform/qorglib/qorglib.h"
#include "platform/qorglib/qorglib_internal.h"

#include <QFile>

namespace zelmar::qorg {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// "\n" is a line break, "\\" a backslash; any other backslash stays as written.
std::string unescape(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            if (raw[i + 1] == 'n') {
                text += '\n';
                ++i;
                continue;
            }
            if (raw[i + 1] == '\\') {
                text += '\\';
                ++i;
                continue;
            }
        }
        text += raw[i];
    }
    return text;
}

// Parses "  1234<blanks>text" into number and raw text; false for comments,
// empty lines and lines that do not start with a number.
bool parseLine(std::string_view line, std::int64_t& number, std::string_view& raw) {
    size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == '#')
        return false;
    bool negative = false;
    if (line[i] == '-') {
        negative = true;
        ++i;
    }
    const size_t digitsStart = i;
    std::int64_t value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        if (value > 100'000'000'000LL)
            return false;  // far outside the 32-bit range: not an entry
        value = value * 10 + (line[i] - '0');
        ++i;
    }
    if (i == digitsStart)
        return false;
    // The number ends at a blank or at the end of the line (an empty text).
    if (i < line.size() && !isBlank(line[i]))
        return false;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    number = negative ? -value : value;
    raw = line.substr(i);
    return true;
}

std::optional<QByteArray> readCatalogue(const QString& baseName) {
    const QString lang = currentLanguage();
    QStringList candidates{baseName + u'.' + lang + QStringLiteral(".txt")};
    if (lang != QLatin1String("en"))
        candidates << baseName + QStringLiteral(".en.txt");
    for (const QString& name : candidates) {
        QFile file(name);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return std::nullopt;
}
}  // namespace

std::optional<std::string> findCatalogueEntry(std::string_view content, std::int32_t number) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF")  // UTF-8 byte order mark
        content.remove_prefix(3);
    while (!content.empty()) {
        const size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::int64_t lineNumber = 0;
        std::string_view raw;
        // The first entry of a number counts.
        if (parseLine(line, lineNumber, raw) && lineNumber == number)
            return unescape(raw);
    }
    return std::nullopt;
}

}  // namespace zelmar::qorg

using namespace zelmar::qorg;

extern "C" const char* ReadTextEntry(const char* textsFile, int32_t number, int32_t /*reserved*/, int32_t* out) {
    thread_local std::string buffer;
    if (out)
        *out = 0;
    if (!textsFile || !*textsFile)
        return keepText(buffer, {});
    const auto content = readCatalogue(resolvePath(QString::fromUtf8(textsFile)));
    if (!content)
        return keepText(buffer, {});
    auto text = findCatalogueEntry(std::string_view(content->constData(), size_t(content->size())), number);
    return keepText(buffer, text.value_or(std::string()));
}
