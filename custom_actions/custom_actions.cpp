// Brisolde.dll: the custom actions that Tarnwick's installation package
// calls. Every action answers ERROR_SUCCESS whatever happens: a failed
// permission grant must never make the installation fail, and nothing may
// be thrown back into Windows Installer. Each failure is one line in the
// installer's log instead.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/handles.h"
#include "custom_actions/action_text.h"
#include "custom_actions/msi_handle.h"
#include "common/system_library.h"
#include "permissions/acl_engine.h"

namespace {

// A tool of up to this size is copied with one read and one write.
constexpr DWORD kStreamChunk = 16 * 1024 * 1024;
constexpr DWORD kPathBuffer = 1024;

// One line in the installer's log (msiexec /l*v), for every failure: the
// actions never fail the installation, so this line is all an administrator
// gets. The text is the record's field 0, its template, where brackets and
// braces have meanings of their own: each is escaped to stand for itself.
void LogLine(MSIHANDLE install, std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (c == L'[' || c == L']' || c == L'{' || c == L'}') {
            escaped += L"[\\";
            escaped += c;
            escaped += L']';
        } else {
            escaped += c;
        }
    }
    UniqueMsiHandle record(MsiCreateRecord(0));
    if (!record || MsiRecordSetStringW(record.get(), 0, escaped.c_str()) != ERROR_SUCCESS) return;
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

std::wstring Widened(std::string_view text) {
    std::wstring wide;
    for (const char c : text) wide += wchar_t(static_cast<unsigned char>(c));  // our own texts are ASCII
    return wide;
}

// In decimal, without the wide printf that std::to_wstring would pull in.
std::wstring ErrorText(DWORD error) {
    wchar_t digits[16] = {};
    wchar_t* at = digits + 15;
    do {
        *--at = wchar_t(L'0' + error % 10);
        error /= 10;
    } while (error != 0);
    return L"Windows error " + std::wstring(at);
}

void LogFailure(MSIHANDLE install, const char* action, std::wstring_view what, DWORD error) {
    LogLine(install, Widened(action) + L": " + std::wstring(what) + L": " + ErrorText(error));
}

// A property's value; nothing when it cannot be read (*error says why). An
// empty or undefined property gives an empty text.
template <typename Char>
std::optional<std::basic_string<Char>> GetProperty(MSIHANDLE install, const Char* name, UINT* error) {
    auto get = [&](Char* buffer, DWORD* size) {
        if constexpr (sizeof(Char) == 1) return MsiGetPropertyA(install, name, buffer, size);
        else return MsiGetPropertyW(install, name, buffer, size);
    };
    // An empty buffer with size 0 asks for the length: even an empty value
    // does not fit, so ERROR_MORE_DATA is the only answer that lets us go on.
    Char empty[1] = {};
    DWORD size = 0;
    *error = get(empty, &size);
    if (*error != ERROR_MORE_DATA) {
        if (*error == ERROR_SUCCESS) *error = ERROR_INVALID_DATA;
        return std::nullopt;
    }
    if (size == MAXDWORD) {
        *error = ERROR_INVALID_DATA;
        return std::nullopt;
    }
    std::basic_string<Char> value(size_t(size) + 1, Char());
    DWORD capacity = size + 1;
    *error = get(value.data(), &capacity);
    if (*error != ERROR_SUCCESS) return std::nullopt;
    // The reported length may overstate a multi-byte text; the terminator does not.
    value.resize(std::char_traits<Char>::length(value.c_str()));
    return value;
}

std::optional<std::string> GetPropertyString(MSIHANDLE install, const char* name, const char* action) {
    UINT error = ERROR_SUCCESS;
    auto value = GetProperty(install, name, &error);
    if (!value) LogFailure(install, action, L"reading the property " + Widened(name) + L" failed", error);
    return value;
}

// Copies the data of the Binary row "SetAcl" into the file. On failure says
// in *step what failed and returns its error.
UINT ExtractBinaryStream(MSIHANDLE install, const wchar_t* path, const wchar_t** step) {
    UniqueMsiHandle database(MsiGetActiveDatabase(install));
    *step = L"the package's database is not at hand";
    if (!database) return ERROR_INVALID_HANDLE;
    UniqueMsiHandle view;
    *step = L"opening a view on the Binary table failed";
    UINT result = MsiDatabaseOpenViewA(database.get(), "SELECT * FROM `Binary` WHERE `Name` = 'SetAcl'", view.receive());
    if (result != ERROR_SUCCESS) return result;
    *step = L"querying the Binary table failed";
    result = MsiViewExecute(view.get(), 0);
    if (result != ERROR_SUCCESS) return result;
    UniqueMsiHandle record;
    *step = L"the package has no Binary row SetAcl (nothing to extract; the grant needs no tool)";
    result = MsiViewFetch(view.get(), record.receive());
    if (result != ERROR_SUCCESS) return result;
    *step = L"the Binary row SetAcl is empty";
    if (MsiRecordDataSize(record.get(), 2) == 0) return ERROR_NO_DATA;

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamChunk]);
    *step = L"no memory for the copy";
    if (!buffer) return ERROR_OUTOFMEMORY;
    // This replaces the empty file that reserved the name.
    UniqueFile file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    DWORD fileError = file ? ERROR_SUCCESS : GetLastError();
    for (;;) {
        DWORD count = kStreamChunk;
        result = MsiRecordReadStream(record.get(), 2, buffer.get(), &count);
        if (result != ERROR_SUCCESS) {
            *step = L"reading the Binary row SetAcl failed";
            return result;
        }
        if (file && count > 0) {
            DWORD written = 0;
            // After a failed write the rest is still read, but a file with a
            // gap would be worse than a short one.
            if (!WriteFile(file.get(), buffer.get(), count, &written, nullptr) || written != count) {
                fileError = written != count && GetLastError() == ERROR_SUCCESS ? ERROR_WRITE_FAULT : GetLastError();
                file.reset();
            }
        }
        if (count < kStreamChunk) break;
    }
    *step = L"writing the file failed";
    return fileError;
}

void RemoveBackSlash(MSIHANDLE install) {
    const char* action = "RemoveBackSlashFromInstallDir";
    const auto enclosed = GetPropertyString(install, "MainInstallDirPropName", action);
    if (!enclosed) return;
    const std::string name = FolderPropertyName(*enclosed);
    if (name.empty()) {
        LogLine(install, Widened(action) + L": MainInstallDirPropName \"" + Widened(*enclosed) +
                             L"\" names no folder property; MainDir is not set");
        return;
    }
    const auto folder = GetPropertyString(install, name.c_str(), action);
    if (!folder) return;
    for (const auto& [property, value] :
         {std::pair{"MainDir", *folder}, std::pair{"MainDir_NoBackSlash", WithoutLastCharacter(*folder)}}) {
        const UINT error = MsiSetPropertyA(install, property, value.c_str());
        if (error != ERROR_SUCCESS) LogFailure(install, action, L"setting " + Widened(property) + L" failed", error);
    }
}

void ExtractSetAcl(MSIHANDLE install) {
    const char* action = "ExtractSetAclFromBinaryTable";
    wchar_t folder[kPathBuffer] = {};
    wchar_t file[kPathBuffer] = {};
    const DWORD length = GetTempPathW(kPathBuffer, folder);
    // Without a temporary folder an empty folder name would put the tool in
    // the installer's current directory: leave the path empty instead, which
    // the grant takes as "no tool".
    if (length == 0 || length >= kPathBuffer) {
        LogFailure(install, action, L"the temporary folder is not known",
                   length == 0 ? GetLastError() : DWORD(ERROR_BUFFER_OVERFLOW));
    } else if (GetTempFileNameW(folder, L"ZQSetAcl", 0, file) == 0) {
        const DWORD error = GetLastError();  // before the text is built
        LogFailure(install, action, L"no temporary file could be made in " + std::wstring(folder), error);
    } else {
        const wchar_t* step = L"";
        const UINT error = ExtractBinaryStream(install, file, &step);
        if (error != ERROR_SUCCESS) LogFailure(install, action, std::wstring(step) + L" (" + file + L")", error);
    }
    const UINT error = MsiSetPropertyW(install, L"SetAclTempPath", file);
    if (error != ERROR_SUCCESS) LogFailure(install, action, L"setting SetAclTempPath failed", error);
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Users full control over the object, made here with the ACL engine: the
// grant SetACL was once started for. On failure returns the Windows error
// (or, when the engine failed without one, ERROR_INVALID_ACL).
DWORD GrantInProcess(const std::wstring& object) {
    AclCommand command;
    std::string refusal;
    if (!ParseAclArguments(UsersFullControlArguments("AddUsersFullControlToAcl", Utf8(object)), command, refusal))
        return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    if (RunAclEngineOnFile(command, object, &error) == kAclOk) return ERROR_SUCCESS;
    return error != ERROR_SUCCESS ? error : DWORD(ERROR_INVALID_ACL);
}

using SetFileInformationByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// Deletes the file the extract action wrote, as it stands now: the user it
// was written for can have replaced it with a link, a folder or anything
// else by the time this runs with the installer's rights. The name is opened
// without following a link at its end, checked to be a plain file, and
// deleted through the open handle, so what was checked is what goes.
DWORD DeleteToolFile(const std::wstring& path, const wchar_t** step) {
    const auto setInformation = SystemFunction<SetFileInformationByHandleFunction>(
        GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle");
    // Without SetFileInformationByHandle (Windows XP) the handle deletes on
    // close: opened without following links, it can only take the name in
    // the temporary folder, never a file a link points at.
    const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (setInformation ? 0 : FILE_FLAG_DELETE_ON_CLOSE);
    *step = L"opening the tool file failed";
    UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                                nullptr));
    if (!file) return GetLastError();
    BY_HANDLE_FILE_INFORMATION information = {};
    *step = L"reading the tool file's attributes failed";
    if (!GetFileInformationByHandle(file.get(), &information)) return GetLastError();
    *step = L"the tool file is not a plain file (a folder or a link), so it is left alone";
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return ERROR_NOT_SUPPORTED;
    if (!setInformation) return ERROR_SUCCESS;  // goes when the handle closes
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    *step = L"deleting the tool file failed";
    if (!setInformation(file.get(), FileDispositionInfo, &disposition, sizeof disposition)) return GetLastError();
    return ERROR_SUCCESS;
}

// Deferred, with the installer's rights: nothing from the temporary folder
// is started. The tool file named beside the object is only deleted.
void GrantUsersFullControl(MSIHANDLE install) {
    const char* action = "AddUsersFullControlToAcl";
    UINT readError = ERROR_SUCCESS;
    const auto data = GetProperty(install, L"CustomActionData", &readError);
    if (!data) {
        LogFailure(install, action, L"reading CustomActionData failed", readError);
        return;
    }
    const auto fields = SplitCustomActionData(*data);
    if (!fields) {
        LogLine(install, Widened(action) + L": CustomActionData \"" + *data +
                             L"\" does not name an object and a tool file; nothing is changed");
        return;
    }
    const DWORD grantError = GrantInProcess(fields->objectPath);
    if (grantError != ERROR_SUCCESS)
        LogFailure(install, action, L"giving the Users group full control of " + fields->objectPath + L" failed",
                   grantError);
    else
        LogLine(install, Widened(action) + L": the Users group has full control of " + fields->objectPath);
    // The tool file is consumed whether or not the grant worked.
    const wchar_t* step = L"";
    const DWORD deleteError = DeleteToolFile(fields->toolPath, &step);
    if (deleteError != ERROR_SUCCESS) LogFailure(install, action, std::wstring(step) + L" (" + fields->toolPath + L")", deleteError);
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

// Writes the Binary row "SetAcl", where a package carries one, to a new
// temporary file and names it in "SetAclTempPath"; the deferred grant deletes
// it unread. Packages built before the grant was made in-process carry the
// row; it is no longer run.
UINT __stdcall ExtractSetAclFromBinaryTable(MSIHANDLE install) {
    try {
        ExtractSetAcl(install);
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Deferred: "CustomActionData" is "<object path>|<tool path>". Gives the
// Users group full control of the object and deletes the tool file.
UINT __stdcall AddUsersFullControlToAcl(MSIHANDLE install) {
    try {
        GrantUsersFullControl(install);
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
