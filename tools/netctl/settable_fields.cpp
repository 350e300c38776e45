#include "tools/netctl/settable_fields.h"

#include <QString>
#include <algorithm>

#include "platform/netservice/wire/wire.h"

namespace zelmar::netctl {

namespace {
namespace wire = net::wire;
using net::ControllerEntry;

const std::string kEncryptionPassword = "EncryptionPassword";

std::optional<bool> boolValue(const std::string& v) {
    const QString t = QString::fromStdString(v).toLower();
    if (t == "1" || t == "true" || t == "yes" || t == "-1")
        return true;
    if (t == "0" || t == "false" || t == "no")
        return false;
    return std::nullopt;
}

// The text item a field travels as (0 for the Boolean ones).
std::uint16_t tagOf(const std::string& name) {
    static const std::vector<std::pair<std::string, std::uint16_t>> tags = {
        {"Name", wire::TagName},
        {"Description", wire::TagDescription},
        {"DnsName", wire::TagDnsName},
        {"MainComputerAddress", wire::TagMainComputer},
        {"ConfigIpAddress", wire::TagConfigIpAddress},
        {"ConfigSubnetMask", wire::TagConfigSubnetMask},
        {"ConfigGateway", wire::TagConfigGateway},
        {"ConfigDnsServer", wire::TagConfigDnsServer},
        {kEncryptionPassword, wire::TagEncryptionPassword},
    };
    for (const auto& [n, tag] : tags)
        if (n == name)
            return tag;
    return 0;
}

int editDistance(const QString& a, const QString& b) {
    std::vector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The field a misspelt name most likely means: same letters in another case,
// the name without its "Config" or "Address" part, or a near spelling.
const SettableField* closeMatch(const std::string& typed) {
    const QString t = QString::fromStdString(typed).toLower();
    const SettableField* best = nullptr;
    int bestDistance = 3;  // at most two letters off
    for (const SettableField& f : settableFields()) {
        const QString n = QString::fromStdString(f.name).toLower();
        if (n == t || (t.size() >= 4 && (n.endsWith(t) || n.startsWith(t))))
            return &f;
        const int d = editDistance(n, t);
        if (d < bestDistance) {
            bestDistance = d;
            best = &f;
        }
    }
    return best;
}

std::string fieldNames(bool networkCheckOnly) {
    std::string out;
    for (const SettableField& f : settableFields()) {
        if (networkCheckOnly && !f.networkCheck)
            continue;
        out += (out.empty() ? "" : ", ") + f.name;
    }
    return out;
}

std::string unknownField(const std::string& name, bool networkCheckOnly) {
    std::string text = "\"" + name + "\" is not a settable field";
    const SettableField* match = closeMatch(name);
    if (match && (!networkCheckOnly || match->networkCheck))
        text += " (did you mean " + match->name + "?)";
    return text + "; the fields are " + fieldNames(networkCheckOnly);
}

// Empty when `value` is fine for the field.
std::string valueProblem(const SettableField& f, const std::string& value) {
    if (f.name == "UseDhcp" || f.name == "RequireEncryption")
        return boolValue(value) ? "" : "is not true or false: \"" + value + "\"";
    return wire::textProblem(tagOf(f.name), value);
}
}  // namespace

const std::vector<SettableField>& settableFields() {
    static const std::vector<SettableField> fields = {
        {"Name", "text, up to 64 bytes", false, [](ControllerEntry& e, const std::string& v) { e.setName(v); }},
        {"Description", "text, up to 255 bytes", false,
         [](ControllerEntry& e, const std::string& v) { e.setDescription(v); }},
        {"DnsName", "host name, up to 253 bytes", false,
         [](ControllerEntry& e, const std::string& v) { e.setDnsName(v); }},
        {"MainComputerAddress", "IPv4 address or host name, up to 253 bytes", false,
         [](ControllerEntry& e, const std::string& v) { e.setMainComputerAddress(v); }},
        {"UseDhcp", "true or false", true,
         [](ControllerEntry& e, const std::string& v) { e.setUseDhcp(*boolValue(v)); }},
        {"ConfigIpAddress", "IPv4 address, as typed (the controller checks it)", true,
         [](ControllerEntry& e, const std::string& v) { e.setConfigIpAddress(v); }},
        {"ConfigSubnetMask", "IPv4 subnet mask, as typed", true,
         [](ControllerEntry& e, const std::string& v) { e.setConfigSubnetMask(v); }},
        {"ConfigGateway", "IPv4 address or empty for none", true,
         [](ControllerEntry& e, const std::string& v) { e.setConfigGateway(v); }},
        {"ConfigDnsServer", "IPv4 address or empty for none", true,
         [](ControllerEntry& e, const std::string& v) { e.setConfigDnsServer(v); }},
        {"RequireEncryption", "true or false", false,
         [](ControllerEntry& e, const std::string& v) { e.setRequireEncryption(*boolValue(v)); }},
        {kEncryptionPassword,
         "no value: the new password comes from ZELMAR_NEW_PASSWORD or --new-password-stdin", false,
         [](ControllerEntry& e, const std::string& v) { e.setEncryptionPassword(v); }},
    };
    return fields;
}

std::string settableFieldsHelp() {
    std::string out;
    for (const SettableField& f : settableFields()) {
        std::string line = "  " + f.name;
        line.resize(std::max<std::size_t>(line.size() + 2, 24), ' ');
        out += line + f.value + "\n";
    }
    return out;
}

bool readFieldArguments(const std::vector<std::string>& args, bool networkCheckOnly, const Options& options,
                        std::vector<FieldValue>& values, std::string& error) {
    for (const std::string& arg : args) {
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const auto field = std::find_if(settableFields().begin(), settableFields().end(),
                                        [&](const SettableField& f) { return f.name == name; });
        if (field == settableFields().end() || (networkCheckOnly && !field->networkCheck)) {
            error = unknownField(name, networkCheckOnly);
            return false;
        }
        if (std::any_of(values.begin(), values.end(), [&](const FieldValue& v) { return v.field->name == name; })) {
            error = name + " is given more than once";
            return false;
        }
        std::string value;
        if (name == kEncryptionPassword) {
            // A password on the command line is readable by every user of the machine.
            if (eq != std::string::npos) {
                error = "the new encryption password is not taken from the command line; give "
                        "EncryptionPassword alone and the password in ZELMAR_NEW_PASSWORD or through "
                        "--new-password-stdin";
                return false;
            }
            if (!options.newPassword) {
                error = "EncryptionPassword: no new password given (ZELMAR_NEW_PASSWORD or --new-password-stdin)";
                return false;
            }
            value = *options.newPassword;
        } else if (eq == std::string::npos) {
            error = "\"" + arg + "\" has no value: write " + name + "=VALUE";
            return false;
        } else {
            value = arg.substr(eq + 1);
        }
        if (const std::string problem = valueProblem(*field, value); !problem.empty()) {
            error = name + " " + problem;
            return false;
        }
        values.push_back({&*field, value});
    }
    return true;
}

CommandTarget lookUpWithFields(const std::vector<std::string>& args, bool networkCheckOnly, const Context& c) {
    if (const std::string problem = serialProblem(args[0]); !problem.empty())
        return {nullptr, c.usage(problem)};
    std::vector<FieldValue> fields;
    std::string error;
    if (!readFieldArguments({args.begin() + 1, args.end()}, networkCheckOnly, c.options, fields, error))
        return {nullptr, c.usage(error)};
    CommandTarget target{lookUpForCommand(args[0], c)};
    if (target.entry)
        for (const auto& f : fields)
            f.field->hold(*target.entry, f.value);
    return target;
}

}  // namespace zelmar::netctl
