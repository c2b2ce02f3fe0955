// A custom action for the test packages that plays the user who swaps the
// extracted tool file between the immediate and the deferred action: it
// copies the program named by SWAPSOURCE over the file that
// "SetAclTempPath" names, and leaves "<that file>.swapped" to show it did.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = 1024;
    if (MsiGetPropertyW(install, name, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall ReplaceTool(MSIHANDLE install) {
    const std::wstring source = Property(install, L"SWAPSOURCE");
    const std::wstring target = Property(install, L"SetAclTempPath");
    if (source.empty() || target.empty() || !CopyFileW(source.c_str(), target.c_str(), FALSE)) return ERROR_SUCCESS;
    const HANDLE marker = CreateFileW((target + L".swapped").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
