// SetAcl.exe: the ACL engine on the command line, for the installer's
// custom action that gives the Users group full control of installed files:
//   SetAcl -on "C:\Program Files\App" -ot file -actn ace -ace "n:S-1-5-32-545;p:full;s:y"
// Exit code 0 on success, 1 for a command it does not understand, 2 when the
// object's security could not be changed.
#include <cstdio>
#include <string>
#include <vector>

#include "common/system_library.h"
#include "permissions/acl_engine.h"

// Arguments are object names, never patterns: the runtime must not expand
// a '*' or '?' in a path into the names of other files.
extern "C" {
int _dowildcard = 0;
}

int main(int argc, char** argv) {
    // Started from a temporary file by the installer, with its rights.
    RestrictLibrarySearch();
    std::vector<std::string> elements(argv, argv + argc);
    AclCommand command;
    std::string error;
    if (!ParseAclArguments(elements, command, error)) {
        std::fprintf(stderr, "SetAcl: %s\n", error.c_str());
        std::fprintf(stderr, "%s\n", AclCommandUsage().c_str());
        return kAclBadCommand;
    }
    std::string messages;
    const AclResult result = RunAclEngine(command, &messages);
    if (!command.silent) std::fputs(messages.c_str(), stdout);
    return result;
}
