#include "registry/key_list.h"

#include <windows.h>

#include <string>

#include "common/handles.h"
#include "registry/registry_access.h"


void BuildCaptureList(RegistryKeyList& list) {
    auto catalogue = CatalogueEntries();
    list.entries.insert(list.entries.end(), std::make_move_iterator(catalogue.begin()),
                        std::make_move_iterator(catalogue.end()));
}

void AddEntry(RegistryKeyList& list, const std::string& keyPath, RegRoot root, const std::string& valueName) {
    RegistryEntry entry;
    entry.root = root;
    entry.keyPath = keyPath;
    entry.valueName = valueName;
    list.entries.push_back(std::move(entry));
}

bool DropEntry(RegistryKeyList& list, const std::string& keyPath) { return DropEntry(list.entries, keyPath); }

void AddLanguageEntries2007(RegistryKeyList& list) {
    for (const char* name : {"UILanguage", "HelpLanguage", "FollowSystemUI"}) {
        AddEntry(list, "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources", RegRoot::CurrentUser, name);
    }
}

void ReadEntry(RegistryEntry& entry) {
    HKEY root = RootHandle(entry.root);
    DWORD type = REG_SZ;
    entry.valueType = kTypeString;
    const auto asText = ReadRegString(root, entry.keyPath, entry.valueName, entry.stringData, &type);
    auto rc = asText;
    if (rc == 0 && type == REG_EXPAND_SZ) entry.valueType = kTypeExpandString;
    if (rc == ERROR_INVALID_DATA) {
        entry.valueType = kTypeDword;
        rc = ReadRegDword(root, entry.keyPath, entry.valueName, entry.dwordData);
    }
    // A value that exists but is neither a string of up to 4096 bytes nor a
    // DWORD is kept as it is: the preparation may overwrite it, and it must
    // come back.
    if (rc != 0 && (asText == ERROR_INVALID_DATA || asText == ERROR_MORE_DATA)) {
        DWORD rawType = 0;
        rc = ReadRegRaw(root, entry.keyPath, entry.valueName, rawType, entry.rawData);
        entry.valueType = kTypeRaw;
        entry.rawType = rawType;
    }
    entry.present = rc == 0 ? 1 : 0;
}

void WriteBackEntry(const RegistryEntry& entry) {
    if (entry.present != 1) return;
    HKEY root = RootHandle(entry.root);
    if (entry.valueType == kTypeDword) {
        WriteRegDword(root, entry.keyPath, entry.valueName, entry.dwordData);
    } else if (entry.valueType == kTypeRaw) {
        WriteRegRaw(root, entry.keyPath, entry.valueName, entry.rawType, entry.rawData);
    } else {
        WriteRegString(root, entry.keyPath, entry.valueName, entry.stringData, true,
                       entry.valueType == kTypeExpandString ? REG_EXPAND_SZ : REG_SZ);
    }
}

SnapshotFileResult CaptureEntries(RegistryKeyList& list) {
    for (auto& entry : list.entries) ReadEntry(entry);
    if (list.useSnapshotFile == 1) return WriteSnapshotFile(BuildSnapshotText(list.entries));
    return {};
}

SnapshotFileResult RestoreEntries(RegistryKeyList& list) {
    SnapshotFileResult result;
    if (list.useSnapshotFile == 1) result = ReadSnapshotFile(list.entries);
    for (const auto& entry : list.entries) WriteBackEntry(entry);
    return result;
}

std::string SnapshotFilePath() {
    // Temporary folders can be longer than MAX_PATH: ask again with the room reported.
    std::string folder(MAX_PATH + 1, '\0');
    DWORD length = GetTempPathA(DWORD(folder.size()), folder.data());
    if (length >= folder.size()) {
        folder.assign(length + 1, '\0');
        length = GetTempPathA(DWORD(folder.size()), folder.data());
    }
    folder.resize(length < folder.size() ? length : 0);
    return folder + "~ZQReg.dat";
}

namespace {

void Failed(SnapshotFileResult& result, const char* call, DWORD error) {
    result.failedCall = call;
    result.error = error;
}

}  // namespace

SnapshotFileResult WriteSnapshotFile(const std::string& text) {
    SnapshotFileResult result;
    result.path = SnapshotFilePath();
    const std::string bytes = EncipherSnapshot(text);
    // A file cut short by a full disk would be taken for a whole one by the
    // next restore, which deletes it: only a complete file gets the name.
    const std::string partial = result.path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    UniqueFile file(CreateFileA(partial.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) {
        Failed(result, "CreateFileA", GetLastError());
        return result;
    }
    for (size_t done = 0; done < bytes.size() && !result.failedCall;) {
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr)) {
            Failed(result, "WriteFile", GetLastError());
        } else if (written == 0) {
            Failed(result, "WriteFile", ERROR_HANDLE_DISK_FULL);
        }
        done += written;
    }
    if (!result.failedCall && !FlushFileBuffers(file.get())) Failed(result, "FlushFileBuffers", GetLastError());
    if (!CloseHandle(file.release()) && !result.failedCall) Failed(result, "CloseHandle", GetLastError());
    if (!result.failedCall && !MoveFileExA(partial.c_str(), result.path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        Failed(result, "MoveFileExA", GetLastError());
    }
    if (result.failedCall) DeleteFileA(partial.c_str());
    return result;
}

SnapshotFileResult ReadSnapshotFile(std::vector<RegistryEntry>& entries) {
    SnapshotFileResult result;
    result.path = SnapshotFilePath();
    {
        UniqueFile file(
            CreateFileA(result.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            Failed(result, "CreateFileA", GetLastError());
            return result;
        }
        const DWORD size = GetFileSize(file.get(), nullptr);
        if (size == INVALID_FILE_SIZE) {
            Failed(result, "GetFileSize", GetLastError());
            return result;
        }
        std::string bytes(size, '\0');
        DWORD read = 0;
        // A file that could not be read was not used up: it stays for another try.
        if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr)) {
            Failed(result, "ReadFile", GetLastError());
            return result;
        }
        bytes.resize(read);
        result.applied = ApplySnapshotBytes(std::move(bytes), entries);
        result.read = true;
    }
    if (!DeleteFileA(result.path.c_str())) Failed(result, "DeleteFileA", GetLastError());
    return result;
}
