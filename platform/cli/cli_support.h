#pragma once
// What zelmar-netctl, zelmar-controller-sim and zelmar-make-upgrade share on
// their command lines: one exit code for usage errors, strict numbers that
// name their option, and the version line.
#include <QCommandLineParser>
#include <QString>
#include <stdexcept>
#include <string>

namespace zelmar::cli {

// Exit code of every usage error (bad option, bad value, missing argument).
constexpr int kUsageError = 2;

// A mistake on the command line; main() prints it and exits with kUsageError.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A whole decimal number from min to max, nothing else ("3x", " 3", "+3", "" are refused).
// Throws UsageError naming `option` otherwise.
long long integer(const QString& option, const QString& text, long long min, long long max);
// A decimal number (a point allowed) from min to max; throws UsageError naming `option`.
double decimal(const QString& option, const QString& text, double min, double max);

// "zelmar-netctl 0.1.0"
std::string versionLine(const char* program);

// Parses `arguments` (program name first) with `parser`; throws UsageError
// with the parser's own error text ("Unknown option 'x'.").
void parseOrThrow(QCommandLineParser& parser, const QStringList& arguments);

// The value of a single-valued option given once; throws UsageError when it is given twice.
QString single(const QCommandLineParser& parser, const QString& option);

}  // namespace zelmar::cli
