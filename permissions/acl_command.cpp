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
    std::vector<PendingEntry> pending;
    bool nameGiven = false, clearGiven = false;
    for (std::size_t i = 1; i < elements.size(); ++i) {
        const std::string& option = elements[i];
        if (EqualsIgnoringAsciiCase(option, "-silent")) {
            command.silent = true;
            continue;
        }
        if (EqualsIgnoringAsciiCase(option, "-ignoreerr")) {
            command.ignoreErrors = true;
            continue;
        }
        const bool takesValue = EqualsIgnoringAsciiCase(option, "-on") || EqualsIgnoringAsciiCase(option, "-ot") ||
                                EqualsIgnoringAsciiCase(option, "-actn") || EqualsIgnoringAsciiCase(option, "-ace") ||
                                EqualsIgnoringAsciiCase(option, "-clr") || EqualsIgnoringAsciiCase(option, "-rec");
        if (!takesValue) {
            error = "Invalid parameter: " + option;
            return false;
        }
        if (i + 1 >= elements.size()) {
            error = "Missing value after " + option;
            return false;
        }
        const std::string& value = elements[++i];
        if (EqualsIgnoringAsciiCase(option, "-on")) {
            if (nameGiven) {
                error = "The object name is given twice";
                return false;
            }
            if (value.empty()) {
                error = "Empty object name";
                return false;
            }
            command.objectName = value;
            nameGiven = true;
        } else if (EqualsIgnoringAsciiCase(option, "-ot")) {
            if (!LookUpWord<AclObjectType>(value, {{"file", AclObjectType::File}, {"reg", AclObjectType::Registry}},
                                           command.objectType)) {
                error = "Object type not supported (file or reg expected): " + value;
                return false;
            }
        } else if (EqualsIgnoringAsciiCase(option, "-actn")) {
            if (EqualsIgnoringAsciiCase(value, "ace")) {
                command.actionAce = true;
            } else if (EqualsIgnoringAsciiCase(value, "clear")) {
                command.actionClear = true;
            } else {
                error = "Action not supported (ace or clear expected): " + value;
                return false;
            }
        } else if (EqualsIgnoringAsciiCase(option, "-ace")) {
            pending.emplace_back();
            if (!ParseEntry(value, pending.back(), error)) return false;
        } else if (EqualsIgnoringAsciiCase(option, "-clr")) {
            if (!ParseWhere(value, command.clearDacl, command.clearSacl, error)) return false;
            clearGiven = true;
        } else if (!EqualsIgnoringAsciiCase(value, "no")) {  // -rec: only the object itself is ever changed
            error = "Recursion not supported (no expected): " + value;
            return false;
        }
    }
    if (!nameGiven) {
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
    if (command.actionAce != !pending.empty()) {
        error = command.actionAce ? "Action ace without any -ace" : "-ace given without the action ace";
        return false;
    }
    if (command.actionClear != clearGiven) {
        error = command.actionClear ? "Action clear without -clr" : "-clr given without the action clear";
        return false;
    }
    for (PendingEntry& entry : pending) {
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

std::string RegistryObjectName(std::string_view keyPath) {
    const auto slash = keyPath.find('\\');
    const std::string_view root = keyPath.substr(0, slash);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : keyPath.substr(slash);
    const RegistryRootNames* names = FindRootByName(root);
    if (!names) return {};
    return std::string(names->objectName) + std::string(rest);
}
