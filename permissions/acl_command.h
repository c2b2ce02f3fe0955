// The ACL engine's command language: the published SetACL syntax, as far as
// this system uses it (-on, -ot file|reg, -actn ace|clear, -ace, -clr, and
// the options -rec no, -silent, -ignoreerr); SetACL's other options are
// refused by name. Pure text handling; running a command is acl_engine's job.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// An argument vector holds at most 20 elements (element 0 and 19 arguments)
// of at most 1023 characters each.
constexpr std::size_t kMaxAclElements = 20;
constexpr std::size_t kMaxAclElementLength = 1023;

// Splits command text into an argument vector. Element 0 is the text itself
// (cut to 1023 characters). Outside double quotes a blank that follows a
// non-blank character ends an argument; a double quote toggles quoting and
// is dropped; every other character, a blank inside quotes or after another
// blank included, belongs to the current argument. A last argument counts
// when the text does not end in a blank. Returns false, with nothing in
// elements, when an argument is too long or there are too many: cutting
// them would name a different object than the one asked for.
bool SplitAclCommandText(std::string_view text, std::vector<std::string>& elements);

enum class AclObjectType { None, File, Registry };

// Permission words of -ace "p:", as bits; which ones an object type accepts
// is checked by the parser.
enum AclPermission : unsigned {
    kAclPermRead = 1u << 0,
    kAclPermWrite = 1u << 1,
    kAclPermListFolder = 1u << 2,
    kAclPermReadExecute = 1u << 3,
    kAclPermChange = 1u << 4,
    kAclPermProfile = 1u << 5,
    kAclPermFull = 1u << 6,
};

// Inheritance words of -ace "i:".
enum AclInheritance : unsigned {
    kAclInheritSubObjects = 1u << 0,     // so
    kAclInheritSubContainers = 1u << 1,  // sc
    kAclInheritNoPropagate = 1u << 2,    // np
    kAclInheritOnly = 1u << 3,           // io
};

enum class AclMode { Set, Grant, Deny, Revoke, AuditSuccess, AuditFailure };

// One -ace "n:Trustee;p:Permission;s:IsSID;i:Inheritance;m:Mode;w:Where".
struct AclEntryRequest {
    std::string trustee;
    bool trusteeIsSid = false;
    unsigned permissions = 0;
    bool inheritanceGiven = false;  // without it the object type's default applies
    unsigned inheritance = 0;
    AclMode mode = AclMode::Set;
    bool inDacl = true;   // access modes; from "w:" or the mode
    bool inSacl = false;  // audit modes
};

struct AclCommand {
    std::string objectName;
    AclObjectType objectType = AclObjectType::None;
    bool actionAce = false;
    bool actionClear = false;
    std::vector<AclEntryRequest> entries;
    bool clearDacl = false;
    bool clearSacl = false;
    bool silent = false;
    bool ignoreErrors = false;
};

// Reads the arguments after element 0 into command. Option names and words
// are compared without regard to case. Every option is a row of one table;
// the SetACL options this engine does not carry out are refused by name.
// On failure returns false and says why in error.
bool ParseAclArguments(const std::vector<std::string>& elements, AclCommand& command, std::string& error);

// One line listing the options the parser accepts, read from the same table.
std::string AclCommandUsage();

// The security API's name of a registry key given with its root in any of
// the usual spellings (HKEY_LOCAL_MACHINE\..., HKLM\...): MACHINE\...,
// CURRENT_USER\..., CLASSES_ROOT\..., USERS\... Empty when the root is not
// one of those four.
std::string RegistryObjectName(std::string_view keyPath);
