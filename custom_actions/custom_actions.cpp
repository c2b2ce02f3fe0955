// Brisolde.dll: the custom actions that Tarnwick's installation package
// calls. Every action answers ERROR_SUCCESS whatever happens: a failed
// permission grant must never make the installation fail, and nothing may
// be thrown back into Windows Installer.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "common/handles.h"
#include "custom_actions/action_text.h"
#include "custom_actions/msi_handle.h"

namespace {

// A tool of up to this size is copied with one read and one write.
constexpr DWORD kStreamChunk = 16 * 1024 * 1024;
constexpr DWORD kPathBuffer = 1024;

// A property's value; nothing when it cannot be read. An empty or undefined
// property gives an empty text.
std::optional<std::string> GetPropertyString(MSIHANDLE install, const char* name) {
    // An empty buffer with size 0 asks for the length: even an empty value
    // does not fit, so ERROR_MORE_DATA is the only answer that lets us go on.
    char empty[1] = "";
    DWORD size = 0;
    if (MsiGetPropertyA(install, name, empty, &size) != ERROR_MORE_DATA || size == MAXDWORD) return std::nullopt;
    std::string value(size_t(size) + 1, '\0');
    DWORD capacity = size + 1;
    if (MsiGetPropertyA(install, name, value.data(), &capacity) != ERROR_SUCCESS) return std::nullopt;
    // The reported length may overstate a multi-byte text; the terminator does not.
    value.resize(std::char_traits<char>::length(value.c_str()));
    return value;
}

// Copies the data of the Binary row "SetAcl" into the file. The result is the
// last installer call's (0 when all went well); the caller does not use it.
UINT ExtractBinaryStream(MSIHANDLE install, const char* path) {
    UniqueMsiHandle database(MsiGetActiveDatabase(install));
    if (!database) return ERROR_SUCCESS;
    UniqueMsiHandle view;
    UINT result = MsiDatabaseOpenViewA(database.get(), "SELECT * FROM `Binary` WHERE `Name` = 'SetAcl'", view.receive());
    if (result != ERROR_SUCCESS) return result;
    result = MsiViewExecute(view.get(), 0);
    if (result != ERROR_SUCCESS) return result;
    UniqueMsiHandle record;
    result = MsiViewFetch(view.get(), record.receive());
    if (result != ERROR_SUCCESS) return result;  // ERROR_NO_MORE_ITEMS: the package carries no tool
    if (MsiRecordDataSize(record.get(), 2) == 0) return result;

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamChunk]);
    if (!buffer) return ERROR_OUTOFMEMORY;
    // This replaces the empty file that reserved the name.
    UniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    for (;;) {
        DWORD count = kStreamChunk;
        result = MsiRecordReadStream(record.get(), 2, buffer.get(), &count);
        if (result != ERROR_SUCCESS) break;
        if (file && count > 0) {
            DWORD written = 0;
            // After a failed write the rest is still read, but a file with a
            // gap would be worse than a short one.
            if (!WriteFile(file.get(), buffer.get(), count, &written, nullptr) || written != count) file.reset();
        }
        if (count < kStreamChunk) break;
    }
    return result;
}

void RemoveBackSlash(MSIHANDLE install) {
    const auto enclosed = GetPropertyString(install, "MainInstallDirPropName");
    if (!enclosed) return;
    const std::string name = FolderPropertyName(*enclosed);
    if (name.empty()) return;
    const auto folder = GetPropertyString(install, name.c_str());
    if (!folder) return;
    MsiSetPropertyA(install, "MainDir", folder->c_str());
    MsiSetPropertyA(install, "MainDir_NoBackSlash", WithoutLastCharacter(*folder).c_str());
}

void ExtractSetAcl(MSIHANDLE install) {
    char folder[kPathBuffer] = {};
    char file[kPathBuffer] = {};
    const DWORD length = GetTempPathA(kPathBuffer, folder);
    // Without a temporary folder an empty folder name would put the tool in
    // the installer's current directory: leave the path empty instead, which
    // the grant takes as "no tool".
    if (length > 0 && length < kPathBuffer && GetTempFileNameA(folder, "ZQSetAcl", 0, file) != 0)
        ExtractBinaryStream(install, file);
    MsiSetPropertyA(install, "SetAclTempPath", file);
}

void GrantUsersFullControl(MSIHANDLE install) {
    const auto data = GetPropertyString(install, "CustomActionData");
    if (!data) return;
    const auto fields = SplitCustomActionData(*data);
    if (!fields) return;
    std::string commandLine = BuildSetAclCommandLine(fields->toolPath, fields->objectPath);
    if (!commandLine.empty()) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_MINIMIZE;
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            UniqueHandle process(info.hProcess);
            UniqueHandle thread(info.hThread);
            WaitForSingleObject(process.get(), INFINITE);
        }
    }
    // The tool is consumed whether or not it ran.
    DeleteFileA(fields->toolPath.c_str());
}

}  // namespace

extern "C" {

// Publishes the install folder as "MainDir" and, without its final
// backslash, as "MainDir_NoBackSlash" (the form that can stand in quotes on
// a command line).
UINT __stdcall RemoveBackSlashFromInstallDir(MSIHANDLE install) {
    try {
        RemoveBackSlash(install);
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Writes the SetACL program from the package to a new temporary file and
// names it in "SetAclTempPath"; the deferred grant runs and deletes it.
UINT __stdcall ExtractSetAclFromBinaryTable(MSIHANDLE install) {
    try {
        ExtractSetAcl(install);
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Deferred: "CustomActionData" is "<object path>|<tool path>".
UINT __stdcall AddUsersFullControlToAcl(MSIHANDLE install) {
    try {
        GrantUsersFullControl(install);
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
