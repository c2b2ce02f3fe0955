#include "permissions/acl_engine.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/registry_view.h"

namespace {

void Say(std::string* messages, const std::string& line) {
    if (messages) *messages += line + "\n";
}

std::string ErrorText(DWORD error) { return "error " + std::to_string(error); }


DWORD AccessMask(unsigned permissions, AclObjectType type) {
    DWORD mask = 0;
    if (type == AclObjectType::Registry) {
        if (permissions & kAclPermRead) mask |= KEY_READ;
        if (permissions & kAclPermFull) mask |= KEY_ALL_ACCESS;
        return mask;
    }
    const DWORD readExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    const DWORD change = readExecute | FILE_GENERIC_WRITE | DELETE;
    if (permissions & kAclPermRead) mask |= FILE_GENERIC_READ;
    if (permissions & kAclPermWrite) mask |= FILE_GENERIC_WRITE;
    if (permissions & (kAclPermListFolder | kAclPermReadExecute)) mask |= readExecute;
    if (permissions & kAclPermChange) mask |= change;
    if (permissions & kAclPermProfile) mask |= change | WRITE_DAC;
    if (permissions & kAclPermFull) mask |= FILE_ALL_ACCESS;
    return mask;
}

// Without "i:" an entry on a container reaches what is below it: subkeys of
// a key, subfolders and files of a folder. A file's entry inherits nowhere.
DWORD InheritanceFlags(const AclEntryRequest& entry, AclObjectType type, bool isFolder) {
    if (!entry.inheritanceGiven) {
        if (type == AclObjectType::Registry) return CONTAINER_INHERIT_ACE;
        return isFolder ? (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE) : 0;
    }
    DWORD flags = 0;
    if (entry.inheritance & kAclInheritSubObjects) flags |= OBJECT_INHERIT_ACE;
    if (entry.inheritance & kAclInheritSubContainers) flags |= CONTAINER_INHERIT_ACE;
    if (entry.inheritance & kAclInheritNoPropagate) flags |= NO_PROPAGATE_INHERIT_ACE;
    if (entry.inheritance & kAclInheritOnly) flags |= INHERIT_ONLY_ACE;
    return flags;
}

ACCESS_MODE AccessMode(AclMode mode) {
    switch (mode) {
    case AclMode::Set: return SET_ACCESS;
    case AclMode::Grant: return GRANT_ACCESS;
    case AclMode::Deny: return DENY_ACCESS;
    case AclMode::Revoke: return REVOKE_ACCESS;
    case AclMode::AuditSuccess: return SET_AUDIT_SUCCESS;
    case AclMode::AuditFailure: return SET_AUDIT_FAILURE;
    }
    return GRANT_ACCESS;
}

// The entries for one list, with the SIDs they point at kept alive beside them.
struct PreparedEntries {
    std::vector<EXPLICIT_ACCESS_A> entries;
    std::vector<std::string> names;  // trustee names are pointed at, not copied
    std::vector<UniqueLocal<PSID>> sids;
};

bool PrepareEntries(const AclCommand& command, bool sacl, bool isFolder, PreparedEntries& out, std::string* messages) {
    std::size_t count = 0;
    for (const AclEntryRequest& request : command.entries) count += (sacl ? request.inSacl : request.inDacl) ? 1 : 0;
    out.names.reserve(count);
    for (const AclEntryRequest& request : command.entries) {
        if (!(sacl ? request.inSacl : request.inDacl)) continue;
        EXPLICIT_ACCESS_A access = {};
        access.grfAccessPermissions = AccessMask(request.permissions, command.objectType);
        // Revoking in the audit list goes through the same mode as in the access list.
        access.grfAccessMode = AccessMode(request.mode);
        access.grfInheritance = InheritanceFlags(request, command.objectType, isFolder);
        if (request.trusteeIsSid) {
            UniqueLocal<PSID> sid;
            if (!ConvertStringSidToSidA(request.trustee.c_str(), sid.receive())) {
                Say(messages, "Not a SID: " + request.trustee);
                return false;
            }
            BuildTrusteeWithSidA(&access.Trustee, sid.get());
            out.sids.push_back(std::move(sid));
        } else {
            out.names.push_back(request.trustee);
            BuildTrusteeWithNameA(&access.Trustee, out.names.back().data());
        }
        out.entries.push_back(access);
    }
    return true;
}

// A copy of the list with only its inherited entries; an absent list gives
// an empty one.
bool InheritedEntriesOnly(PACL list, std::vector<BYTE>& out) {
    ACL_SIZE_INFORMATION size = {};
    if (list && !GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return false;
    const DWORD revision = list ? list->AclRevision : ACL_REVISION;
    out.assign(list ? size.AclBytesInUse : sizeof(ACL), 0);
    PACL copy = reinterpret_cast<PACL>(out.data());
    if (!InitializeAcl(copy, DWORD(out.size()), revision)) return false;
    for (DWORD i = 0; list && i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(list, i, &ace)) return false;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (!(header->AceFlags & INHERITED_ACE)) continue;
        if (!AddAce(copy, revision, MAXDWORD, ace, header->AceSize)) return false;
    }
    return true;
}

bool HasExplicitEntries(PACL list) {
    ACL_SIZE_INFORMATION size = {};
    if (!list || !GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(list, i, &ace) && !(static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE)) return true;
    }
    return false;
}

// Windows reads an access list from the front and stops at the first entry
// that decides: explicit denials come first, then the other explicit
// entries, then the inherited ones, each group in its own order. Merging
// does not always keep that order (a granted entry can land before an
// existing denial and outweigh it), so the list is put into it afterwards.
bool CanonicalCopy(PACL list, std::vector<BYTE>& out) {
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(list, &size, sizeof size, AclSizeInformation)) return false;
    out.assign(size.AclBytesInUse, 0);
    PACL copy = reinterpret_cast<PACL>(out.data());
    if (!InitializeAcl(copy, DWORD(out.size()), list->AclRevision)) return false;
    enum Group { kExplicitDenied, kExplicitOther, kInherited };
    for (const Group group : {kExplicitDenied, kExplicitOther, kInherited}) {
        for (DWORD i = 0; i < size.AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(list, i, &ace)) return false;
            const auto* header = static_cast<ACE_HEADER*>(ace);
            const bool denied =
                header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE;
            const Group its = (header->AceFlags & INHERITED_ACE) ? kInherited
                              : denied                           ? kExplicitDenied
                                                                 : kExplicitOther;
            if (its == group && !AddAce(copy, list->AclRevision, MAXDWORD, ace, header->AceSize)) return false;
        }
    }
    return true;
}

}  // namespace

// The audit list can only be read or written with this privilege, which an
// administrator holds but does not have switched on.
bool EnableSecurityPrivilege() {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive())) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return LookupPrivilegeValueA(nullptr, "SeSecurityPrivilege", &privileges.Privileges[0].Luid) &&
           AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

bool BuildAclList(const AclCommand& command, bool sacl, bool isFolder, PACL current, std::vector<BYTE>& list,
                  std::string* messages) {
    list.clear();
    const char* listName = sacl ? "SACL" : "DACL";
    PreparedEntries prepared;
    if (!PrepareEntries(command, sacl, isFolder, prepared, messages)) return false;
    std::vector<BYTE> inherited;
    PACL base = current;
    if (sacl ? command.clearSacl : command.clearDacl) {
        if (!InheritedEntriesOnly(current, inherited)) {
            Say(messages, std::string("Copying the ") + listName + " of " + command.objectName + " failed");
            return false;
        }
        base = reinterpret_cast<PACL>(inherited.data());
    }
    UniqueLocal<PACL> merged;
    PACL result = base;
    if (!prepared.entries.empty()) {
        const DWORD error =
            SetEntriesInAclA(ULONG(prepared.entries.size()), prepared.entries.data(), base, merged.receive());
        if (error != ERROR_SUCCESS) {
            Say(messages, std::string("Building the ") + listName + " of " + command.objectName + " failed: " +
                              ErrorText(error));
            return false;
        }
        result = merged.get();
    }
    // Not cleared and nothing added: the absent list stays absent.
    if (!result) return true;
    if (!CanonicalCopy(result, list)) {
        Say(messages, std::string("Ordering the ") + listName + " of " + command.objectName + " failed");
        list.clear();
        return false;
    }
    return true;
}

namespace {

// The object as the security API names it: narrow, as SetAcl.exe and the
// permissions tool give it, or wide, for a file or folder whose name lies
// outside the ANSI code page.
struct ObjectName {
    const std::string* narrow = nullptr;
    const std::wstring* wide = nullptr;
    HKEY key = nullptr;  // a registry key opened in a view of its own, named by handle
};

DWORD ReadSecurity(const ObjectName& object, SE_OBJECT_TYPE type, bool sacl, PACL* list,
                   PSECURITY_DESCRIPTOR* descriptor) {
    const SECURITY_INFORMATION which = sacl ? SACL_SECURITY_INFORMATION : DACL_SECURITY_INFORMATION;
    if (object.key)
        return GetSecurityInfo(object.key, type, which, nullptr, nullptr, sacl ? nullptr : list, sacl ? list : nullptr,
                               descriptor);
    if (object.wide)
        return GetNamedSecurityInfoW(object.wide->c_str(), type, which, nullptr, nullptr, sacl ? nullptr : list,
                                     sacl ? list : nullptr, descriptor);
    return GetNamedSecurityInfoA(object.narrow->c_str(), type, which, nullptr, nullptr, sacl ? nullptr : list,
                                 sacl ? list : nullptr, descriptor);
}

DWORD WriteSecurity(const ObjectName& object, SE_OBJECT_TYPE type, bool sacl, PACL list) {
    const SECURITY_INFORMATION which = sacl ? SACL_SECURITY_INFORMATION : DACL_SECURITY_INFORMATION;
    if (object.key) return SetSecurityInfo(object.key, type, which, nullptr, nullptr, sacl ? nullptr : list, sacl ? list : nullptr);
    // The API takes a non-const pointer.
    if (object.wide) {
        std::wstring writable = *object.wide;
        return SetNamedSecurityInfoW(writable.data(), type, which, nullptr, nullptr, sacl ? nullptr : list,
                                     sacl ? list : nullptr);
    }
    std::string writable = *object.narrow;
    return SetNamedSecurityInfoA(writable.data(), type, which, nullptr, nullptr, sacl ? nullptr : list,
                                 sacl ? list : nullptr);
}

// Clears and adds in one list (the access list, or the audit list) and
// writes it back once. A failing Windows call leaves its error in *error.
bool UpdateList(const AclCommand& command, const ObjectName& object, SE_OBJECT_TYPE type, bool sacl, bool isFolder,
                std::string* messages, DWORD* error) {
    const bool clear = sacl ? command.clearSacl : command.clearDacl;
    PreparedEntries prepared;
    if (!PrepareEntries(command, sacl, isFolder, prepared, messages)) return false;
    if (!clear && prepared.entries.empty()) return true;

    const char* listName = sacl ? "SACL" : "DACL";
    PACL current = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    DWORD result = ReadSecurity(object, type, sacl, &current, descriptor.receive());
    if (result != ERROR_SUCCESS) {
        *error = result;
        Say(messages, std::string("Reading the ") + listName + " of " + command.objectName + " failed: " + ErrorText(result));
        return false;
    }
    // Nothing to clear and nothing to add leaves the list as it is.
    if (prepared.entries.empty() && !HasExplicitEntries(current)) return true;

    std::vector<BYTE> list;
    if (!BuildAclList(command, sacl, isFolder, current, list, messages)) return false;
    if (list.empty()) return true;
    result = WriteSecurity(object, type, sacl, reinterpret_cast<PACL>(list.data()));
    if (result != ERROR_SUCCESS) {
        *error = result;
        Say(messages, std::string("Writing the ") + listName + " of " + command.objectName + " failed: " +
                          ErrorText(result));
        return false;
    }
    return true;
}

bool NeedsList(const AclCommand& command, bool sacl) {
    if (sacl ? command.clearSacl : command.clearDacl) return true;
    for (const AclEntryRequest& entry : command.entries) {
        if (sacl ? entry.inSacl : entry.inDacl) return true;
    }
    return false;
}

}  // namespace

namespace {

AclResult RunOn(const AclCommand& command, const ObjectName& object, SE_OBJECT_TYPE type, bool isFolder,
                std::string* messages, DWORD* error) {
    bool ok = true;
    if (NeedsList(command, false)) ok = UpdateList(command, object, type, false, isFolder, messages, error);
    if ((ok || command.ignoreErrors) && NeedsList(command, true)) {
        if (!EnableSecurityPrivilege()) Say(messages, "The privilege to change audit entries is not held");
        ok = UpdateList(command, object, type, true, isFolder, messages, error) && ok;
    }
    return ok ? kAclOk : kAclObjectFailed;
}

// Windows Installer's keys lie in the 64-bit view under WOW64, where the
// launcher writes them (common/registry_view.h). The security functions
// take that view by name only from Windows 8 on (SE_REGISTRY_WOW64_64KEY),
// so the key is opened in it and its lists are read and written through
// the handle, on every 64-bit Windows alike.
constexpr std::string_view kMachinePrefix = "MACHINE\\";

bool IsInstallerKeyUnderWow64(const std::string& objectName) {
    return StartsWithIgnoringAsciiCase(objectName, kMachinePrefix) &&
           RegistryViewFor(HKEY_LOCAL_MACHINE, objectName.substr(kMachinePrefix.size())) != 0;
}

AclResult RunOnInstallerKey(const AclCommand& command, const std::string& objectName, std::string* messages) {
    const bool sacl = NeedsList(command, true);
    if (sacl) EnableSecurityPrivilege();
    const char* path = objectName.c_str() + kMachinePrefix.size();
    const REGSAM rights = READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY;
    UniqueKey key;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, rights | (sacl ? ACCESS_SYSTEM_SECURITY : 0), key.receive());
    // Without the privilege the audit list fails on its own, as by name.
    if (sacl && opened == ERROR_PRIVILEGE_NOT_HELD) opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, rights, key.receive());
    if (opened != ERROR_SUCCESS) {
        Say(messages, "Opening " + command.objectName + " failed: " + ErrorText(DWORD(opened)));
        return kAclObjectFailed;
    }
    DWORD error = ERROR_SUCCESS;
    ObjectName object;
    object.key = key.get();
    return RunOn(command, object, SE_REGISTRY_KEY, false, messages, &error);
}

}  // namespace

AclResult RunAclEngine(const AclCommand& command, std::string* messages) {
    std::string objectName = command.objectName;
    SE_OBJECT_TYPE type = SE_FILE_OBJECT;
    bool isFolder = false;
    if (command.objectType == AclObjectType::Registry) {
        objectName = RegistryObjectName(command.objectName);
        type = SE_REGISTRY_KEY;
        if (objectName.empty()) {
            Say(messages, "Not a registry key with a known root: " + command.objectName);
            return kAclBadCommand;
        }
        if (IsInstallerKeyUnderWow64(objectName)) return RunOnInstallerKey(command, objectName, messages);
    } else if (command.objectType == AclObjectType::File) {
        const DWORD attributes = GetFileAttributesA(objectName.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            Say(messages, "The object does not exist: " + command.objectName + " (" + ErrorText(GetLastError()) + ")");
            return kAclObjectFailed;
        }
        isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } else {
        return kAclBadCommand;
    }
    DWORD error = ERROR_SUCCESS;
    ObjectName object;
    object.narrow = &objectName;
    return RunOn(command, object, type, isFolder, messages, &error);
}

AclResult RunAclEngineOnFile(const AclCommand& command, const std::wstring& objectName, DWORD* error,
                             std::string* messages) {
    DWORD ignored = ERROR_SUCCESS;
    if (!error) error = &ignored;
    *error = ERROR_SUCCESS;
    if (command.objectType != AclObjectType::File || objectName.empty()) return kAclBadCommand;
    const DWORD attributes = GetFileAttributesW(objectName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = GetLastError();
        Say(messages, "The object does not exist: " + command.objectName + " (" + ErrorText(*error) + ")");
        return kAclObjectFailed;
    }
    ObjectName object;
    object.wide = &objectName;
    return RunOn(command, object, SE_FILE_OBJECT, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, messages, error);
}

AclResult RunAclCommand(std::string_view text, std::string* messages) {
    std::vector<std::string> elements;
    if (!SplitAclCommandText(text, elements)) {
        Say(messages, "The command has too many arguments or one that is too long");
        return kAclBadCommand;
    }
    AclCommand command;
    std::string error;
    if (!ParseAclArguments(elements, command, error)) {
        Say(messages, error);
        return kAclBadCommand;
    }
    return RunAclEngine(command, messages);
}
