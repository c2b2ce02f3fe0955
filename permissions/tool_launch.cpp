#include "permissions/tool_launch.h"

#include <windows.h>

#include <string>

#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/log.h"
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
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        path = stem + std::to_string(attempt) + ".exe";
        UniqueFile file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return file;
        error = GetLastError();
        // A folder of that name answers "access denied": it only takes the
        // name, like a file does.
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            !(error == ERROR_ACCESS_DENIED && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)) {
            break;
        }
    }
    Log("Permissions tool not written: no new file could be created as " + stem + "*.exe, Windows error ",
        std::to_string(error));
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

// Opens the written file again for reading and, at the end, deleting it,
// sharing it with readers only: while the handle is held nobody can change,
// replace or delete the file, yet Windows can still start it (the loader
// shares deleting). What is read back through that handle must be exactly
// the tool, or it is not started.
UniqueFile HoldUnchanged(const std::string& path, const char* bytes, DWORD size) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
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

HMODULE Kernel32() {
    static const UniqueModule module = LoadSystemLibrary("kernel32.dll");
    return module.get();
}

// The path the handle's file has now, every link resolved, without the
// "\\?\" form; empty on systems before Vista, which cannot tell.
std::string FinalPath(HANDLE file) {
    using Fn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    const auto get = SystemFunction<Fn>(Kernel32(), "GetFinalPathNameByHandleA");
    if (!get) return {};
    std::string path(MAX_PATH, '\0');
    DWORD length = get(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= path.size()) {
        path.assign(length + 1, '\0');
        length = get(file, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    path.resize(length < path.size() ? length : 0);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
    if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

std::string FinalFolderPath(const std::string& folder) {
    UniqueFile handle(CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? FinalPath(handle.get()) : std::string();
}

// What is started is the file the held handle names, wherever a link in
// the temporary path may point by now; it must still lie in the temporary
// folder. Systems before Vista start the written path.
bool ChooseStartPath(HANDLE held, const std::string& folder, std::string& path) {
    using Fn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    if (!SystemFunction<Fn>(Kernel32(), "GetFinalPathNameByHandleA")) return true;
    const std::string finalPath = FinalPath(held);
    std::string finalFolder = FinalFolderPath(folder);
    if (!finalFolder.empty() && finalFolder.back() != '\\') finalFolder += '\\';
    if (finalPath.empty() || finalFolder.empty() || !StartsWithIgnoringAsciiCase(finalPath, finalFolder) ||
        finalPath.find('\\', finalFolder.size()) != std::string::npos) {
        Log("Permissions tool not started: the written file is now " + (finalPath.empty() ? "unknown" : finalPath) +
            ", outside the temporary folder ", finalFolder.empty() ? folder : finalFolder);
        return false;
    }
    path = finalPath;
    return true;
}

// Deletes the held file through its handle, so that nothing that meanwhile
// took its name or sits where a link now points is deleted. Starting the
// tool maps its file for a moment after the process has ended, so the first
// try can find it in use. Systems before Vista, and a file that was never
// held, are deleted by name as before (the file was created new by this run).
void DeleteToolFile(UniqueFile held, const std::string& path) {
    using Fn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    const auto setInformation = SystemFunction<Fn>(Kernel32(), "SetFileInformationByHandle");
    if (!setInformation) held.reset();
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (held && setInformation) {
            FILE_DISPOSITION_INFO disposition = {TRUE};
            if (setInformation(held.get(), FileDispositionInfo, &disposition, sizeof disposition)) return;
        } else if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Sleep(50);
    }
    Log("Permissions tool file not deleted: " + path + ", Windows error ", std::to_string(GetLastError()));
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
    } else {
        Log("Permissions tool not started: " + path + ", Windows error ", std::to_string(GetLastError()));
    }
}

}  // namespace

void RunTarnwickPermissions(int showProgress) {
    const std::string folder = TemporaryFolder();
    if (folder.empty()) {
        Log("Permissions tool not written: Windows names no temporary folder");
        return;
    }

    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kToolResourceId), "BIN");
    const DWORD size = resource ? SizeofResource(nullptr, resource) : 0;
    HGLOBAL loaded = size ? LoadResource(nullptr, resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) return;

    std::string path;
    UniqueFile file = CreateToolFile(folder, path);
    if (!file) return;
    const bool written = WriteAll(file.get(), bytes, size);
    if (!written) Log("Permissions tool not written: " + path + ", Windows error ", std::to_string(GetLastError()));
    file.reset();
    UniqueFile held;
    if (written) {
        held = HoldUnchanged(path, bytes, size);
        if (!held) Log("Permissions tool not started: " + path + " changed or could not be held after it was written");
    }
    std::string startPath = path;
    if (held && ChooseStartPath(held.get(), folder, startPath)) StartAndWait(startPath, showProgress);
    DeleteToolFile(std::move(held), path);
}
