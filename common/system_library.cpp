#include "common/system_library.h"

#include <string>

namespace {

template <typename Function>
Function ShellFunction(const char* name) {
    static const UniqueModule shell = LoadSystemLibrary("shell32.dll");  // kept for the life of the process
    return shell ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(shell.get(), name))) : nullptr;
}

}  // namespace

void RestrictLibrarySearch() {
    SetDllDirectoryA("");  // takes the current folder out of the search
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto setDefault = kernel ? reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(
                                         GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UniqueModule LoadSystemLibrary(const char* name) {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return UniqueModule();
    const std::string path = std::string(folder, length) + "\\" + name;
    return UniqueModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

BOOL ShellExecuteExSystem(SHELLEXECUTEINFOA* info) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    const auto run = ShellFunction<ShellExecuteExFn>("ShellExecuteExA");
    if (!run) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return run(info);
}

bool ShellFolderPath(int csidl, char* folder) {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const auto get = ShellFunction<GetFolderPathFn>("SHGetFolderPathA");
    return get && SUCCEEDED(get(nullptr, csidl, nullptr, 0, folder));
}

bool ShellSpecialFolderPath(int csidl, char* folder) {
    using GetSpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    const auto get = ShellFunction<GetSpecialFolderPathFn>("SHGetSpecialFolderPathA");
    return get && get(nullptr, folder, csidl, FALSE);
}
