#include "permissions/tool_launch.h"

#include <windows.h>

#include <string>

#include "common/handles.h"
#include "common/system_library.h"

namespace {

constexpr WORD kToolResourceId = 133;
constexpr DWORD kTempBufferSize = 2048;
constexpr unsigned kNameAttempts = 100;

// The temporary folder with its trailing backslash; empty when Windows
// names none.
std::string TemporaryFolder() {
    std::string folder(kTempBufferSize, '\0');
    DWORD length = GetTempPathA(kTempBufferSize, folder.data());
    // A longer path reports the size it needs; the folder may in principle
    // change in between, so the second answer is checked as well.
    while (length > folder.size()) {
        folder.assign(length + 1, '\0');
        length = GetTempPathA(DWORD(folder.size()), folder.data());
    }
    folder.resize(length);
    return folder;
}

// The tool is started with administrator rights from a folder its user can
// write to. A name of this run's own, created only if nothing of that name
// exists, keeps a second launcher or a file planted beforehand from ever
// being started in its place.
UniqueFile CreateToolFile(const std::string& folder, std::string& path) {
    const std::string stem = folder + "TarnwickPermissions-" + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        path = stem + std::to_string(attempt) + ".exe";
        UniqueFile file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    path.clear();
    return UniqueFile();
}

bool WriteAll(HANDLE file, const char* bytes, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, size, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// Opens the written file again for reading only, sharing it with readers
// only: while the handle is held nobody can change, replace or delete the
// file, yet Windows can still start it. What is read back through that
// handle must be exactly the tool, or it is not started.
UniqueFile HoldUnchanged(const std::string& path, const char* bytes, DWORD size) {
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return file;
    std::string readBack(size, '\0');
    DWORD total = 0;
    while (total < size) {
        DWORD read = 0;
        if (!ReadFile(file.get(), readBack.data() + total, size - total, &read, nullptr) || read == 0) break;
        total += read;
    }
    char extra = 0;
    DWORD more = 0;
    const bool atEnd = ReadFile(file.get(), &extra, 1, &more, nullptr) && more == 0;
    if (total != size || !atEnd || readBack.compare(0, size, bytes, size) != 0) return UniqueFile();
    return file;
}

// Starting the tool maps its file for a moment after the process has ended,
// so the first delete can find it still in use.
void DeleteToolFile(const std::string& path) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
        Sleep(50);
    }
}

void StartAndWait(const std::string& path, int showProgress) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = path.c_str();
    info.lpParameters = showProgress == 0 ? "noprogress" : "";
    info.nShow = SW_SHOWNORMAL;
    // On Windows Vista and later the tool asks for administrator rights, so
    // the shell may show the elevation prompt here; a refusal is a failed start.
    if (ShellExecuteExSystem(&info) && info.hProcess) {
        UniqueHandle process(info.hProcess);
        WaitForSingleObject(process.get(), INFINITE);
    }
}

}  // namespace

void RunTarnwickPermissions(int showProgress) {
    const std::string folder = TemporaryFolder();
    if (folder.empty()) return;  // nowhere to put the tool

    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kToolResourceId), "BIN");
    const DWORD size = resource ? SizeofResource(nullptr, resource) : 0;
    HGLOBAL loaded = size ? LoadResource(nullptr, resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) return;

    std::string path;
    UniqueFile file = CreateToolFile(folder, path);
    if (!file) return;
    const bool written = WriteAll(file.get(), bytes, size);
    file.reset();
    if (written) {
        UniqueFile held = HoldUnchanged(path, bytes, size);
        if (held) StartAndWait(path, showProgress);
    }
    DeleteToolFile(path);
}
