// Text handling of the installer custom actions that needs no Windows API:
// the install-folder property name, the deferred action's data and the
// SetACL command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// "MainInstallDirPropName" holds the folder property's name between one
// character on each side ("[INSTALLDIR]"); those two characters are dropped
// whatever they are. Fewer than two characters give an empty name.
std::string FolderPropertyName(std::string_view enclosed);

// The folder without its last character, which is normally its final
// backslash; an empty folder stays empty.
std::string WithoutLastCharacter(std::string_view folder);

struct CustomActionFields {
    std::string objectPath;  // the file or folder that Users get full control over
    std::string toolPath;    // the extracted SetACL program, deleted after its run
};

// "CustomActionData" is "<object path>|<tool path>". Empty fields are skipped
// (a leading or doubled bar changes nothing) and a third field is ignored;
// nothing when fewer than two fields remain.
std::optional<CustomActionFields> SplitCustomActionData(std::string_view value);

// The same split of the wide value, which keeps names outside the ANSI code
// page whole.
struct WideCustomActionFields {
    std::wstring objectPath;
    std::wstring toolPath;
};
std::optional<WideCustomActionFields> SplitCustomActionData(std::wstring_view value);

// The grant as the ACL engine's argument vector, the words SetACL was given:
//   <action> -on <object> -ot file -actn ace -ace n:S-1-5-32-545;p:full;s:y
// The object name here only names the object in the engine's messages.
std::vector<std::string> UsersFullControlArguments(std::string_view actionName, std::string_view objectName);

// The command line that makes SetACL add an access-allowed entry giving the
// local Users group (S-1-5-32-545) full control over the object:
//   "<tool>" -on "<object>" -ot file -actn ace -ace "n:S-1-5-32-545;p:full;s:y"
// Empty when a path holds a double quote: no file name has one, and it would
// end the quoting and hand the rest to SetACL as options of its own.
std::string BuildSetAclCommandLine(std::string_view toolPath, std::string_view objectPath);
