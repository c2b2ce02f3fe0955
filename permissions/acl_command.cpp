#include "permissions/acl_command.h"

#include <initializer_list>
#include <utility>

#include "common/ascii_text.h"
#include "common/registry_roots.h"

namespace {

// Splits at the separator; empty pieces are dropped, as "a;;b" and "a;b;"
// are written by hand often enough.
std::vector<std::string_view> Pieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

template <typename Value>
bool LookUpWord(std::string_view word, std::initializer_list<std::pair<const char*, Value>> table, Value& out) {
    for (const auto& [name, value] : table) {
        if (EqualsIgnoringAsciiCase(word, name)) {
            out = value;
            return true;
        }
    }
    return false;
}

bool ParsePermissions(std::string_view text, AclObjectType type, unsigned& out, std::string& error) {
    out = 0;
    for (std::string_view word : Pieces(text, ',')) {
        unsigned bit = 0;
        const bool known = type == AclObjectType::Registry
                               ? LookUpWord<unsigned>(word, {{"read", kAclPermRead}, {"full", kAclPermFull}}, bit)
                               : LookUpWord<unsigned>(word,
                                                      {{"read", kAclPermRead},
                                                       {"write", kAclPermWrite},
                                                       {"list_folder", kAclPermListFolder},
                                                       {"read_ex", kAclPermReadExecute},
                                                       {"change", kAclPermChange},
                                                       {"profile", kAclPermProfile},
                                                       {"full", kAclPermFull}},
                                                      bit);
        if (!known) {
            error = "Invalid permission for this object type: " + std::string(word);
            return false;
        }
        out |= bit;
    }
    return true;
}

bool ParseInheritance(std::string_view text, unsigned& out, std::string& error) {
    out = 0;
    for (std::string_view word : Pieces(text, ',')) {
        unsigned bit = 0;
        if (!LookUpWord<unsigned>(word,
                                  {{"so", kAclInheritSubObjects},
                                   {"sc", kAclInheritSubContainers},
                                   {"np", kAclInheritNoPropagate},
                                   {"io", kAclInheritOnly}},
                                  bit)) {
            error = "Invalid inheritance flag: " + std::string(word);
            return false;
        }
        out |= bit;
    }
    // Without a direction, "no propagation" and "inherit only" would make an
    // entry that applies to nothing: the object is skipped and nothing inherits.
    if ((out & (kAclInheritNoPropagate | kAclInheritOnly)) && !(out & (kAclInheritSubObjects | kAclInheritSubContainers))) {
        error = "Inheritance flags np and io need so or sc beside them: " + std::string(text);
        return false;
    }
    return true;
}

// "dacl", "sacl" or both, comma separated.
bool ParseWhere(std::string_view text, bool& dacl, bool& sacl, std::string& error) {
    dacl = sacl = false;
    for (std::string_view word : Pieces(text, ',')) {
        if (EqualsIgnoringAsciiCase(word, "dacl")) {
            dacl = true;
        } else if (EqualsIgnoringAsciiCase(word, "sacl")) {
            sacl = true;
        } else {
            error = "Invalid ACL name (dacl or sacl expected): " + std::string(word);
            return false;
        }
    }
    if (!dacl && !sacl) {
        error = "No ACL named (dacl or sacl expected)";
        return false;
    }
    return true;
}

bool IsAuditMode(AclMode mode) { return mode == AclMode::AuditSuccess || mode == AclMode::AuditFailure; }

// The permissions are checked against the object type once all options are
// read, as -ot may come after -ace; the text is kept until then.
struct PendingEntry {
    AclEntryRequest entry;
    std::string permissionText;
    bool permissionGiven = false;
};

bool ParseEntry(std::string_view text, PendingEntry& pending, std::string& error) {
    AclEntryRequest& entry = pending.entry;
    bool whereGiven = false, nameGiven = false;
    bool inDacl = true, inSacl = false;
    for (std::string_view part : Pieces(text, ';')) {
        const auto colon = part.find(':');
        if (colon == std::string_view::npos) {
            error = "ACE part without a colon: " + std::string(part);
            return false;
        }
        const std::string_view key = part.substr(0, colon), value = part.substr(colon + 1);
        if (EqualsIgnoringAsciiCase(key, "n")) {
            entry.trustee = std::string(value);
            nameGiven = !value.empty();
        } else if (EqualsIgnoringAsciiCase(key, "p")) {
            pending.permissionText = std::string(value);
            pending.permissionGiven = true;
        } else if (EqualsIgnoringAsciiCase(key, "s")) {
            if (EqualsIgnoringAsciiCase(value, "y")) {
                entry.trusteeIsSid = true;
            } else if (EqualsIgnoringAsciiCase(value, "n")) {
                entry.trusteeIsSid = false;
            } else {
                error = "Invalid SID flag (y or n expected): " + std::string(value);
                return false;
            }
        } else if (EqualsIgnoringAsciiCase(key, "i")) {
            if (!ParseInheritance(value, entry.inheritance, error)) return false;
            entry.inheritanceGiven = true;
        } else if (EqualsIgnoringAsciiCase(key, "m")) {
            if (!LookUpWord<AclMode>(value,
                                     {{"set", AclMode::Set},
                                      {"grant", AclMode::Grant},
                                      {"deny", AclMode::Deny},
                                      {"revoke", AclMode::Revoke},
                                      {"aud_succ", AclMode::AuditSuccess},
                                      {"aud_fail", AclMode::AuditFailure}},
                                     entry.mode)) {
                error = "Invalid mode: " + std::string(value);
                return false;
            }
        } else if (EqualsIgnoringAsciiCase(key, "w")) {
            if (!ParseWhere(value, inDacl, inSacl, error)) return false;
            whereGiven = true;
        } else {
            error = "Invalid ACE part: " + std::string(part);
            return false;
        }
    }
    if (!nameGiven) {
        error = "ACE without a trustee (n:)";
        return false;
    }
    if (!pending.permissionGiven && entry.mode != AclMode::Revoke) {
        error = "ACE without a permission (p:)";
        return false;
    }
    if (!whereGiven) {
        inDacl = !IsAuditMode(entry.mode);
        inSacl = IsAuditMode(entry.mode);
    }
    // An access entry in the audit list, or an audit entry in the access list,
    // has no meaning; only revoke applies to both.
    if (entry.mode != AclMode::Revoke && ((IsAuditMode(entry.mode) && inDacl) || (!IsAuditMode(entry.mode) && inSacl))) {
        error = "The mode does not fit the ACL named by w:";
        return false;
    }
    entry.inDacl = inDacl;
    entry.inSacl = inSacl;
    return true;
}

// What the options have given so far; checked as a whole once all are read.
struct ParseState {
    AclCommand& command;
    std::vector<PendingEntry> pending;
    bool nameGiven;
    bool clearGiven;
};

// A handler takes the option's value (empty for a switch). It returns false
// to refuse the value; without a reason of its own, the row's refusal text
// and the value are reported.
using OptionHandler = bool (*)(std::string_view value, ParseState& state, std::string& error);

struct AclOptionRow {
    std::string_view name;
    std::string_view valueHint;  // how the value is written; empty for a switch
    OptionHandler handle;        // null: a SetACL option this engine does not carry out
    std::string_view refusal;    // why a value, or the whole option, is refused
    bool required;               // listed without brackets in the usage line
};

bool TakeObjectName(std::string_view value, ParseState& state, std::string& error) {
    if (state.nameGiven) {
        error = "The object name is given twice";
        return false;
    }
    if (value.empty()) {
        error = "Empty object name";
        return false;
    }
    state.command.objectName = std::string(value);
    state.nameGiven = true;
    return true;
}

bool TakeObjectType(std::string_view value, ParseState& state, std::string&) {
    return LookUpWord<AclObjectType>(value, {{"file", AclObjectType::File}, {"reg", AclObjectType::Registry}},
                                     state.command.objectType);
}

bool TakeAction(std::string_view value, ParseState& state, std::string&) {
    if (EqualsIgnoringAsciiCase(value, "ace")) {
        state.command.actionAce = true;
    } else if (EqualsIgnoringAsciiCase(value, "clear")) {
        state.command.actionClear = true;
    } else {
        return false;
    }
    return true;
}

bool TakeEntry(std::string_view value, ParseState& state, std::string& error) {
    state.pending.emplace_back();
    return ParseEntry(value, state.pending.back(), error);
}

bool TakeClear(std::string_view value, ParseState& state, std::string& error) {
    if (!ParseWhere(value, state.command.clearDacl, state.command.clearSacl, error)) return false;
    state.clearGiven = true;
    return true;
}

// Only the object itself is ever changed.
bool TakeRecursion(std::string_view value, ParseState&, std::string&) { return EqualsIgnoringAsciiCase(value, "no"); }

bool TakeSilent(std::string_view, ParseState& state, std::string&) {
    state.command.silent = true;
    return true;
}

bool TakeIgnoreErrors(std::string_view, ParseState& state, std::string&) {
    state.command.ignoreErrors = true;
    return true;
}

// Every option of the SetACL syntax that this engine knows: the ones it
// carries out, and the others, which it refuses by name rather than taking
// them for a typing error or passing over them.
constexpr AclOptionRow kAclOptions[] = {
    {"-on", "ObjectName", TakeObjectName, "Invalid object name", true},
    {"-ot", "file|reg", TakeObjectType, "Object type not supported (file or reg expected)", true},
    {"-actn", "ace|clear", TakeAction, "Action not supported (ace or clear expected)", true},
    {"-ace", "\"n:Trustee;p:Permission;s:y|n;i:Inheritance;m:Mode;w:dacl|sacl\"", TakeEntry, "Invalid ACE", false},
    {"-clr", "dacl,sacl", TakeClear, "Invalid ACL names", false},
    {"-rec", "no", TakeRecursion, "Recursion not supported (no expected)", false},
    {"-silent", "", TakeSilent, "", false},
    {"-ignoreerr", "", TakeIgnoreErrors, "", false},
    {"-trst", "", nullptr, "Trustee actions are not supported", false},
    {"-dom", "", nullptr, "Domain actions are not supported", false},
    {"-ownr", "", nullptr, "Setting the owner is not supported", false},
    {"-grp", "", nullptr, "Setting the primary group is not supported", false},
    {"-op", "", nullptr, "Protection flags are not supported", false},
    {"-rst", "", nullptr, "Resetting children is not supported", false},
    {"-lst", "", nullptr, "Listing is not supported", false},
    {"-bckp", "", nullptr, "Backup files are not supported", false},
    {"-log", "", nullptr, "Log files are not supported", false},
    {"-fltr", "", nullptr, "Filters are not supported", false},
    {"-help", "", nullptr, "Help text is not supported; the usage line lists the options", false},
};

const AclOptionRow* FindOption(std::string_view name) {
    for (const AclOptionRow& row : kAclOptions) {
        if (EqualsIgnoringAsciiCase(name, row.name)) return &row;
    }
    return nullptr;
}

// The checks that need the whole command: what must be given, what belongs
// together, and the permissions, which depend on -ot wherever it stands.
bool FinishCommand(ParseState& state, std::string& error) {
    AclCommand& command = state.command;
    if (!state.nameGiven) {
        error = "No object name (-on) given";
        return false;
    }
    if (command.objectType == AclObjectType::None) {
        error = "No object type (-ot) given";
        return false;
    }
    if (!command.actionAce && !command.actionClear) {
        error = "No action (-actn) given";
        return false;
    }
    if (command.actionAce != !state.pending.empty()) {
        error = command.actionAce ? "Action ace without any -ace" : "-ace given without the action ace";
        return false;
    }
    if (command.actionClear != state.clearGiven) {
        error = command.actionClear ? "Action clear without -clr" : "-clr given without the action clear";
        return false;
    }
    for (PendingEntry& entry : state.pending) {
        if (entry.permissionGiven &&
            !ParsePermissions(entry.permissionText, command.objectType, entry.entry.permissions, error)) {
            return false;
        }
        if (entry.entry.mode != AclMode::Revoke && entry.entry.permissions == 0) {
            error = "ACE without a permission (p:)";
            return false;
        }
        command.entries.push_back(std::move(entry.entry));
    }
    if (command.objectType == AclObjectType::Registry && RegistryObjectName(command.objectName).empty()) {
        error = "Not a registry key with a known root: " + command.objectName;
        return false;
    }
    return true;
}

}  // namespace

bool SplitAclCommandText(std::string_view text, std::vector<std::string>& elements) {
    elements.clear();
    std::vector<std::string> out;
    out.emplace_back(text.substr(0, kMaxAclElementLength));
    std::string current;
    bool quoted = false;
    char previous = '\0';
    bool fits = true;
    auto finish = [&] {
        if (out.size() == kMaxAclElements) fits = false;
        out.push_back(std::move(current));
        current.clear();
    };
    for (const char c : text) {
        if (c == ' ' && !quoted && previous != '\0' && previous != ' ') {
            finish();
        } else if (c == '"') {
            quoted = !quoted;
        } else {
            if (current.size() == kMaxAclElementLength) fits = false;
            current += c;
        }
        previous = c;
    }
    if (!text.empty() && text.back() != ' ') finish();
    if (!fits) return false;
    elements = std::move(out);
    return true;
}

bool ParseAclArguments(const std::vector<std::string>& elements, AclCommand& command, std::string& error) {
    command = AclCommand{};
    error.clear();
    ParseState state{command, {}, false, false};
    for (std::size_t i = 1; i < elements.size(); ++i) {
        const std::string& option = elements[i];
        const AclOptionRow* row = FindOption(option);
        if (!row) {
            error = "Invalid parameter: " + option;
            return false;
        }
        if (!row->handle) {
            error = std::string(row->refusal) + ": " + option;
            return false;
        }
        std::string_view value;
        if (!row->valueHint.empty()) {
            if (i + 1 >= elements.size()) {
                error = "Missing value after " + option;
                return false;
            }
            value = elements[++i];
        }
        if (!row->handle(value, state, error)) {
            if (error.empty()) error = std::string(row->refusal) + ": " + std::string(value);
            return false;
        }
    }
    return FinishCommand(state, error);
}

std::string AclCommandUsage() {
    std::string usage = "usage: SetAcl";
    for (const AclOptionRow& row : kAclOptions) {
        if (!row.handle) continue;
        usage += " ";
        if (!row.required) usage += "[";
        usage += row.name;
        if (!row.valueHint.empty()) usage += " " + std::string(row.valueHint);
        if (!row.required) usage += "]";
    }
    return usage;
}

std::string RegistryObjectName(std::string_view keyPath) {
    const auto slash = keyPath.find('\\');
    const std::string_view root = keyPath.substr(0, slash);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : keyPath.substr(slash);
    const RegistryRootNames* names = FindRootByName(root);
    if (!names) return {};
    return std::string(names->objectName) + std::string(rest);
}
