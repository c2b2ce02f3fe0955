#include "access/discovery.h"

#include <windows.h>

#include "common/handles.h"

// Discovery is not built yet: no association is read and no executable is
// chosen, so the launch goes on without starting anything.
void ReadMdbAssociation(LauncherContext&) {}
bool ChooseAccessExecutable(LauncherContext&) { return true; }

int FileExists(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 1 : 0;
}
