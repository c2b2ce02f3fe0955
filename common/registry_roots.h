// The four registry roots the system names, with every spelling it reads or
// writes: one row each, read by every parser and printer of a root.
#pragma once

#include <string_view>

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

struct RegistryRootNames {
    RegRoot root;
    std::string_view longName;    // "HKEY_LOCAL_MACHINE": the snapshot file, the log, regedit
    std::string_view shortName;   // "HKLM": stored key paths and SetACL object names
    std::string_view objectName;  // "MACHINE": the security API's registry object names
};

inline constexpr RegistryRootNames kRegistryRoots[] = {
    {RegRoot::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR", "CLASSES_ROOT"},
    {RegRoot::CurrentUser, "HKEY_CURRENT_USER", "HKCU", "CURRENT_USER"},
    {RegRoot::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM", "MACHINE"},
    {RegRoot::Users, "HKEY_USERS", "HKU", "USERS"},
};

constexpr const RegistryRootNames& NamesOf(RegRoot root) {
    for (const RegistryRootNames& row : kRegistryRoots) {
        if (row.root == root) return row;
    }
    return kRegistryRoots[0];
}

// The row whose long or short name is the text, letter case ignored in
// ASCII; null when none is.
const RegistryRootNames* FindRootByName(std::string_view name);
