// A DLL planted beside a program under the name of a system library: when
// anything loads it, it leaves "planted_loaded.txt" in its own folder.
#include <windows.h>

#include <cstring>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(instance, path, MAX_PATH);
        char* slash = strrchr(path, '\\');
        if (slash) {
            strcpy(slash + 1, "planted_loaded.txt");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
        }
    }
    return TRUE;
}
