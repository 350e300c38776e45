#include "platform/cli/cli_support.h"

#include <QRegularExpression>
#include <cmath>

namespace zelmar::cli {

namespace {
std::string range(long long min, long long max) { return std::to_string(min) + " to " + std::to_string(max); }
}  // namespace

long long integer(const QString& option, const QString& text, long long min, long long max) {
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,18}$"));
    if (digits.match(text).hasMatch()) {
        const long long v = text.toLongLong();
        if (v >= min && v <= max)
            return v;
    }
    throw UsageError("--" + option.toStdString() + " must be a whole number from " + range(min, max) + ", not \"" +
                     text.toStdString() + "\"");
}

double decimal(const QString& option, const QString& text, double min, double max) {
    static const QRegularExpression number(QStringLiteral("^-?[0-9]{1,9}(\\.[0-9]{1,9})?$"));
    if (number.match(text).hasMatch()) {
        const double v = text.toDouble();
        if (std::isfinite(v) && v >= min && v <= max)
            return v;
    }
    throw UsageError("--" + option.toStdString() + " must be a number from " + QString::number(min).toStdString() +
                     " to " + QString::number(max).toStdString() + ", not \"" + text.toStdString() + "\"");
}

std::string versionLine(const char* program) { return std::string(program) + " " + ZELMAR_VERSION; }

void parseOrThrow(QCommandLineParser& parser, const QStringList& arguments) {
    if (!parser.parse(arguments))
        throw UsageError(parser.errorText().toStdString());
}

QString single(const QCommandLineParser& parser, const QString& option) {
    const QStringList values = parser.values(option);
    if (values.size() > 1)
        throw UsageError("--" + option.toStdString() + " is given more than once");
    return values.isEmpty() ? QString() : values.first();
}

}  // namespace zelmar::cli
