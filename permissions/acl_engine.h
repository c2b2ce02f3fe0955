// The ACL engine: carries out an AclCommand on a registry key or a file
// through the Windows security API.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "permissions/acl_command.h"

// Results of the engine, also the exit codes of SetAcl.exe.
enum AclResult : int {
    kAclOk = 0,
    kAclBadCommand = 1,    // the text or its arguments do not form a command
    kAclObjectFailed = 2,  // the object's security could not be read or changed
};

// Runs the command. Clearing comes before adding, whatever the order of the
// actions on the command line, and each list is written once with its final
// content, so that a failure never leaves a list cleared without its new
// entries. Messages for a console, one per line, are appended to messages
// when given.
AclResult RunAclEngine(const AclCommand& command, std::string* messages = nullptr);

// Runs a file command on the file or folder named by objectName, a wide
// string, so that a name outside the ANSI code page reaches the object
// whole; command.objectName only names the object in messages. When the
// object's security could not be read or changed, *error (when given)
// receives the failing Windows call's error; it is 0 otherwise.
AclResult RunAclEngineOnFile(const AclCommand& command, const std::wstring& objectName, DWORD* error = nullptr,
                             std::string* messages = nullptr);

// The list that the command makes of current, an object's access list (or,
// with sacl, its audit list; null when it has none): cleared of its explicit
// entries when asked, the requested entries merged in, in the order Windows
// evaluates (explicit denials, other explicit entries, inherited ones). This
// is what RunAclEngine writes back. On failure returns false with a message.
bool BuildAclList(const AclCommand& command, bool sacl, bool isFolder, PACL current, std::vector<BYTE>& list,
                  std::string* messages = nullptr);

// Splits the command text into its argument vector, parses it and runs it.
AclResult RunAclCommand(std::string_view text, std::string* messages = nullptr);
// Switches on the privilege without which the audit list can be neither read
// nor written; false when the process does not hold it.
bool EnableSecurityPrivilege();
