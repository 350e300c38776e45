#include "tools/netctl/command_line.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdlib>
#include <istream>
#include <ostream>

#include "platform/cli/cli_support.h"
#include "platform/cli/program_arguments.h"
#include "platform/netservice/system/udp_platform.h"
#include "platform/netservice/wire/ipv4.h"
#include "tools/netctl/netctl_commands.h"
#include "tools/netctl/settable_fields.h"

namespace zelmar::netctl {

namespace {
const char* kProgram = "zelmar-netctl";

struct Switches {
    QCommandLineOption help{{"h", "help"}, "show this help (after a command: the command's help)"};
    QCommandLineOption version{"version", "show the version"};
    QCommandLineOption json{"json", "print controllers as JSON objects, one a line (plan: the outcomes as JSON; upgrade: one outcome a line)"};
    QCommandLineOption csv{"csv", "search and find: print controllers as CSV with a header row (the plan format)"};
    QCommandLineOption passwordStdin{"password-stdin", "read the network password from the first line of standard input"};
    QCommandLineOption newPasswordStdin{"new-password-stdin",
                                        "read the new password of set ... EncryptionPassword from the next line"};
    QCommandLineOption jobs{"jobs", "upgrade and plan: at most N controllers worked on at once, 1 to 32 (default: a pace that adapts to the link)", "N"};
    QCommandLineOption quiet{"quiet", "upgrade and plan: no progress on standard error"};
    QCommandLineOption everyController{"all", "upgrade: every controller a full search finds"};
    QCommandLineOption allowOlder{"allow-older",
                                  "upgrade: also send a file older than the revision a controller runs (a downgrade)"};
    QCommandLineOption parking{"parking",
                               "plan: a free address to park a controller on while a cycle of address changes "
                               "closes (default: one the check chooses); may be given once for each network",
                               "ADDRESS"};
    QList<QCommandLineOption> all() const {
        return {help, version, json, csv, passwordStdin, newPasswordStdin, jobs, quiet, everyController, allowOlder, parking};
    }
};

void printHelp(const Switches& s, std::ostream& out) {
    out << "usage: " << kProgram << " [options] COMMAND [arguments]\n\n"
        << "The controller network service from the command line.\n\nOptions:\n";
    for (const QCommandLineOption& o : s.all()) {
        std::string names;
        for (const QString& n : o.names())
            names += (names.empty() ? "" : ", ") + std::string(n.size() == 1 ? "-" : "--") + n.toStdString();
        std::string line = "  " + names + (o.valueName().isEmpty() ? "" : " " + o.valueName().toStdString());
        line.resize(std::max<std::size_t>(line.size() + 2, 24), ' ');
        out << line << o.description().toStdString() << "\n";
    }
    out << "\nCommands:\n";
    for (const Command& c : commands()) {
        std::string line = "  " + c.name + (c.arguments.empty() ? "" : " " + c.arguments);
        line.resize(std::max<std::size_t>(line.size() + 2, 34), ' ');
        out << line << c.summary << "\n";
    }
    out << "\nFields of set:\n" << settableFieldsHelp()
        << "\nEnvironment:\n"
           "  ZELMAR_NETSERVICE_CONFIG  the service configuration file; without it the per-user\n"
           "                            ~/.config/zelmar/netservice.json, then the installed one\n"
           "                            (docs/netservice.md; 'adapters' tells which holds)\n"
           "  ZELMAR_PASSWORD           the network password (never on the command line)\n"
           "  ZELMAR_NEW_PASSWORD       the new encryption password of set ... EncryptionPassword\n"
           "\n" << kExitCodesHelp <<
           "'" << kProgram << " COMMAND --help' shows one command's help.\n";
}

void printCommandHelp(const Command& c, std::ostream& out) {
    out << "usage: " << kProgram << " [options] " << c.name << (c.arguments.empty() ? "" : " " + c.arguments)
        << "\n\n" << c.summary << "\n";
    if (!c.details.empty())
        out << "\n" << c.details << (c.details.back() == '\n' ? "" : "\n");
}

std::string readLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Passwords on the command line are readable by every user of the machine.
bool refusePasswordOption(const QStringList& arguments, std::ostream& err) {
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
        const QString& a = arguments[i];
        if ((a.startsWith("--password") && a != "--password-stdin") ||
            (a.startsWith("--new-password") && a != "--new-password-stdin")) {
            err << kProgram << ": passwords are not taken from the command line; use ZELMAR_PASSWORD or "
                << "--password-stdin (ZELMAR_NEW_PASSWORD or --new-password-stdin for a new one)\n";
            return true;
        }
    }
    return false;
}

bool parsedOrTold(QCommandLineParser& parser, const QStringList& arguments, std::ostream& err) {
    try {
        cli::parseOrThrow(parser, arguments);
        return true;
    } catch (const cli::UsageError& e) {
        err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
        return false;
    }
}

// --version and --help answer without running a command; true when one of them did.
bool answeredVersionOrHelp(const QCommandLineParser& parser, const Switches& s, const std::vector<std::string>& args,
                           std::ostream& out) {
    if (parser.isSet(s.version)) {
        out << cli::versionLine(kProgram) << "\n";
        return true;
    }
    if (parser.isSet(s.help)) {
        const Command* c = args.empty() ? nullptr : commandNamed(args[0]);
        if (c)
            printCommandHelp(*c, out);
        else
            printHelp(s, out);
        return true;
    }
    return false;
}

// Standard input gives the present password's line first, then the new one's.
// Ctrl-C and SIGTERM stop plan apply and upgrade as Stop does: nothing new
// starts, what is in hand finishes and is told. A second one ends the program at once.
site::StopFlag g_stop;
void stopOrEnd() {
    if (g_stop.requested())
        std::_Exit(130);
    g_stop.request();
}

void readPasswords(const QCommandLineParser& parser, const Switches& s, bool newPasswordField, std::istream& in,
                   Options& options) {
    if (parser.isSet(s.passwordStdin))
        options.password = readLine(in);
    else if (const char* p = std::getenv("ZELMAR_PASSWORD"))
        options.password = p;
    if (parser.isSet(s.newPasswordStdin))
        options.newPassword = readLine(in);
    else if (const char* p = std::getenv("ZELMAR_NEW_PASSWORD"); p && newPasswordField)
        options.newPassword = p;
}
}  // namespace

int runCommandLine(const QStringList& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
    if (refusePasswordOption(arguments, err))
        return kExitUsage;
    Switches s;
    QCommandLineParser parser;
    parser.addOptions(s.all());
    if (!parsedOrTold(parser, arguments, err))
        return kExitUsage;
    std::vector<std::string> args;
    // As typed: a field value that is not UTF-8 is refused by the field's check.
    for (const QString& a : parser.positionalArguments())
        args.push_back(cli::argumentBytes(a));
    if (answeredVersionOrHelp(parser, s, args, out))
        return kExitDone;
    const bool newPasswordField =
        std::find(args.begin(), args.end(), std::string("EncryptionPassword")) != args.end();
    if (parser.isSet(s.newPasswordStdin) && !newPasswordField) {
        err << kProgram << ": --new-password-stdin is for set SERIAL ... EncryptionPassword\n";
        return kExitUsage;
    }

    Options options;
    options.json = parser.isSet(s.json);
    options.csv = parser.isSet(s.csv);
    if (options.json && options.csv) {
        err << kProgram << ": --json and --csv: one output format at a time\nTry '" << kProgram << " --help'.\n";
        return kExitUsage;
    }
    options.quiet = parser.isSet(s.quiet);
    options.all = parser.isSet(s.everyController);
    options.allowOlder = parser.isSet(s.allowOlder);
    if (parser.isSet(s.jobs)) {
        try {
            options.jobs = int(cli::integer("jobs", cli::single(parser, "jobs"), 1, site::kMostJobs));
        } catch (const cli::UsageError& e) {
            err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
            return kExitUsage;
        }
    }
    for (const QString& a : parser.values(s.parking)) {
        if (!net::ipv4::parse(a.toStdString())) {
            err << kProgram << ": --parking: \"" << a.toStdString() << "\" is not an IPv4 address\nTry '" << kProgram
                << " --help'.\n";
            return kExitUsage;
        }
        options.parking.push_back(a.toStdString());
    }
    if (!args.empty() && (args[0] == "plan" || args[0] == "upgrade")) {
        net::platform::onStopRequest(stopOrEnd);
        options.stop = &g_stop;
    }
    readPasswords(parser, s, newPasswordField, in, options);
    try {
        options.config = net::ServiceConfig::fromEnvironment();
        return run(args, options, out, err);
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << "\n";
        return kExitServiceError;
    }
}

}  // namespace zelmar::netctl
