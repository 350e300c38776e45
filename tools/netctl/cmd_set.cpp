// set SERIAL FIELD=VALUE...: one setup transaction.
#include <ostream>

#include "tools/netctl/command_list.h"
#include "tools/netctl/netctl_support.h"
#include "tools/netctl/settable_fields.h"

namespace zelmar::netctl {

using namespace site;

namespace {
int set(const std::vector<std::string>& args, const Context& c) {
    if (args.size() < 2)
        return c.usage("needs a SERIAL and at least one FIELD=VALUE");
    const auto [entry, exitCode] = lookUpWithFields(args, false, c);
    if (!entry)
        return exitCode;
    entry->setApply(true);
    if (const std::string why = entry->NotSentReason(); !why.empty()) {
        c.err << "setup of " << args[0] << " not sent: " << why << "; nothing changed\n";
        return kExitFailed;
    }
    switch (entry->SetupVerdict()) {
    case net::SetupOutcome::Confirmed: break;
    case net::SetupOutcome::Refused: {
        const std::string field = entry->SetupRefusedField();
        c.err << "setup of " << args[0] << " refused: " << (field.empty() ? "" : field + ": ")
              << entry->SetupRefusedReason() << "; nothing changed\n";
        return kExitFailed;
    }
    case net::SetupOutcome::NoAnswer:
        c.err << "setup of " << args[0] << ": no answer from the controller, and it could not be found reporting "
                 "the new settings; its state is unknown (the settings may or may not be in place)\n";
        return kExitUnknown;
    }
    if (c.options.json)
        printRecord(recordOf(*entry), c.options, c.out);
    else
        c.out << "setup of " << args[0] << " done\n";
    return kExitDone;
}
}  // namespace

Command setCommand() {
    return {"set", "SERIAL FIELD=VALUE...",
            "write settings into one controller (one transaction: all or nothing)",
            "Fields:\n" + settableFieldsHelp() +
                "\nThe new encryption password never comes from the command line: name\n"
                "EncryptionPassword alone and give the password in ZELMAR_NEW_PASSWORD or on\n"
                "standard input with --new-password-stdin (after the network password's line\n"
                "when --password-stdin is given too).\n\n" +
                kExitCodesHelp,
            set};
}

}  // namespace zelmar::netctl
