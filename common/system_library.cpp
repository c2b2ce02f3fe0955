#include "common/system_library.h"

#include <string>

namespace {

// Each library is loaded once and kept for the life of the process.
HMODULE Shell32() {
    static const UniqueModule module = LoadSystemLibrary("shell32.dll");
    return module.get();
}
HMODULE ProcessStatus() {
    static const UniqueModule module = LoadSystemLibrary("psapi.dll");
    return module.get();
}
HMODULE Ole32() {
    static const UniqueModule module = LoadSystemLibrary("ole32.dll");
    return module.get();
}
HMODULE OleAut32() {
    static const UniqueModule module = LoadSystemLibrary("oleaut32.dll");
    return module.get();
}

}  // namespace

void RestrictLibrarySearch() {
    SetDllDirectoryA("");  // takes the current folder out of the search
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDefault =
        SystemFunction<SetDefaultDirectories>(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UniqueModule LoadSystemLibrary(const char* name) {
    // By name but searched in the system folder only: a side-by-side
    // assembly that the program's manifest names (the visual-style common
    // controls) still takes precedence, a file beside the program never does.
    if (HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return UniqueModule(module);
    // Systems without that search option: the full path.
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return UniqueModule();
    const std::string path = std::string(folder, length) + "\\" + name;
    return UniqueModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void LoadLaunchLibraries() {
    Shell32();
    Ole32();
}

BOOL ShellExecuteExSystem(SHELLEXECUTEINFOA* info) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    const auto run = SystemFunction<ShellExecuteExFn>(Shell32(), "ShellExecuteExA");
    if (!run) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return run(info);
}

bool ShellFolderPath(int csidl, char* folder) {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const auto get = SystemFunction<GetFolderPathFn>(Shell32(), "SHGetFolderPathA");
    return get && SUCCEEDED(get(nullptr, csidl, nullptr, 0, folder));
}

bool ShellSpecialFolderPath(int csidl, char* folder) {
    using GetSpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    const auto get = SystemFunction<GetSpecialFolderPathFn>(Shell32(), "SHGetSpecialFolderPathA");
    return get && get(nullptr, folder, csidl, FALSE);
}

BOOL EnumProcessesSystem(DWORD* ids, DWORD size, DWORD* returned) {
    using Fn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
    const auto enumerate = SystemFunction<Fn>(ProcessStatus(), "EnumProcesses");
    return enumerate ? enumerate(ids, size, returned) : FALSE;
}

BOOL EnumProcessModulesSystem(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed) {
    using Fn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    const auto enumerate = SystemFunction<Fn>(ProcessStatus(), "EnumProcessModules");
    return enumerate ? enumerate(process, modules, size, needed) : FALSE;
}

DWORD GetModuleBaseNameSystem(HANDLE process, HMODULE module, char* name, DWORD size) {
    using Fn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
    const auto get = SystemFunction<Fn>(ProcessStatus(), "GetModuleBaseNameA");
    return get ? get(process, module, name, size) : 0;
}

HRESULT CreateGuidSystem(GUID* guid) {
    using Fn = HRESULT(WINAPI*)(GUID*);
    const auto create = SystemFunction<Fn>(Ole32(), "CoCreateGuid");
    return create ? create(guid) : E_NOTIMPL;
}

int StringFromGuidSystem(const GUID& guid, wchar_t* text, int size) {
    using Fn = int(WINAPI*)(REFGUID, LPOLESTR, int);
    const auto format = SystemFunction<Fn>(Ole32(), "StringFromGUID2");
    return format ? format(guid, text, size) : 0;
}

HRESULT LoadTypeLibSystem(const wchar_t* path, ITypeLib** library) {
    using Fn = HRESULT(WINAPI*)(LPCOLESTR, ITypeLib**);
    const auto load = SystemFunction<Fn>(OleAut32(), "LoadTypeLib");
    return load ? load(path, library) : E_NOTIMPL;
}

HRESULT RegisterTypeLibSystem(ITypeLib* library, const wchar_t* path) {
    using Fn = HRESULT(WINAPI*)(ITypeLib*, LPCOLESTR, LPCOLESTR);
    const auto registerLibrary = SystemFunction<Fn>(OleAut32(), "RegisterTypeLib");
    return registerLibrary ? registerLibrary(library, path, nullptr) : E_NOTIMPL;
}
