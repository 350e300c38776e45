#pragma once
// The fields `set` and `check` take as FIELD=VALUE, each checked against the
// protocol's limits before anything is sent.
#include <functional>
#include <string>
#include <vector>

#include "platform/netservice/controller_entry.h"
#include "tools/netctl/netctl_commands.h"
#include "tools/netctl/netctl_support.h"

namespace zelmar::netctl {

struct SettableField {
    std::string name;         // as typed: "ConfigIpAddress"
    std::string value;        // what the value is, for --help
    bool networkCheck;        // also taken by `check`
    std::function<void(net::ControllerEntry&, const std::string&)> hold;
};

const std::vector<SettableField>& settableFields();

// The --help lines that list the fields.
std::string settableFieldsHelp();

struct FieldValue {
    const SettableField* field;
    std::string value;
};

// Reads FIELD=VALUE arguments. `EncryptionPassword` stands alone: its value
// comes from options.newPassword. Returns false with `error` naming the field
// (and the close match for a misspelt one).
bool readFieldArguments(const std::vector<std::string>& args, bool networkCheckOnly, const Options& options,
                        std::vector<FieldValue>& values, std::string& error);

// SERIAL FIELD=VALUE... as `set` and `check` take them (`args` is not empty):
// the arguments checked before anything is sent, then the controller looked
// up with the values held in its entry.
CommandTarget lookUpWithFields(const std::vector<std::string>& args, bool networkCheckOnly, const Context& c);

}  // namespace zelmar::netctl
