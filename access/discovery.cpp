#include "access/discovery.h"

#include <windows.h>

#include "access/text_paths.h"
#include "common/handles.h"
#include "registry/registry_access.h"

// Discovery is not built yet: no association is read and no executable is
// chosen, so the launch goes on without starting anything.
void ReadMdbAssociation(LauncherContext&) {}
bool ChooseAccessExecutable(LauncherContext&) { return true; }

int FileExists(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 1 : 0;
}

std::uint32_t ReadStoredCommandLine(const std::string& keyText, const std::string& valueNameText,
                                    std::string& commandLine, std::string& titleBar) {
    const auto [root, keyPath] = SplitRootPrefix(StripQuotes(keyText));
    const auto result = ReadRegString(root, keyPath, StripQuotes(valueNameText), commandLine);
    if (result == 0) ReadRegString(HKEY_LOCAL_MACHINE, keyPath + "\\Run-Time Options", "TitleBar", titleBar);
    return result;
}
