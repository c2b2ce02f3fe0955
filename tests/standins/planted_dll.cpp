// A DLL planted beside a program under the name of a system library: when
// anything loads it, it leaves "planted_loaded.txt" in its own folder.
#include <windows.h>

#include <string>

#include "common/handles.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(instance, self, MAX_PATH);
        const std::string path = self;
        const auto slash = path.rfind('\\');
        if (slash != std::string::npos) {
            const std::string marker = path.substr(0, slash + 1) + "planted_loaded.txt";
            // The file itself is the mark: it is created and closed again.
            const UniqueFile created(
                CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    return TRUE;
}
