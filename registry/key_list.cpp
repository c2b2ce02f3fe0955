#include "registry/key_list.h"

#include <windows.h>

#include <aclapi.h>

#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/registry_view.h"
#include "registry/registry_access.h"
#include "registry/user_identity.h"


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

void AddUserPreparationEntries(RegistryKeyList& list, const std::string& officeVersion,
                               const std::string& locationKey) {
    auto entries = UserPreparationEntries(officeVersion, locationKey);
    list.entries.insert(list.entries.end(), std::make_move_iterator(entries.begin()),
                        std::make_move_iterator(entries.end()));
}

void AddLanguageEntries2007(RegistryKeyList& list) {
    for (const char* name : {"UILanguage", "HelpLanguage", "FollowSystemUI"}) {
        AddEntry(list, "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources", RegRoot::CurrentUser, name);
    }
}

namespace {

// The types whose data the ANSI registry functions convert to and from the
// code page.
bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string BytesOf(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The ANSI form of stored UTF-16 text, when converting it back gives exactly
// these characters; nothing when the code page has no room for one of them.
std::optional<std::string> AnsiExactly(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::nullopt;
    std::string ansi(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), length, nullptr, nullptr);
    if (WideFromAnsi(ansi) != text) return std::nullopt;
    return ansi;
}

// The captured value in the form the snapshot line has always had, when
// that form puts back exactly the stored bytes: a string of one terminated
// run of characters that the ANSI code page carries, a four-byte DWORD,
// bytes of a type the ANSI functions pass through unconverted, or text with
// zeros inside (a multi-string) that the code page carries whole. Files thus
// keep the lines that earlier versions of the launcher read.
bool TakePlainForm(RegistryEntry& entry, DWORD type, const std::string& stored) {
    if (type == REG_DWORD && stored.size() == sizeof(std::uint32_t)) {
        entry.valueType = kTypeDword;
        std::memcpy(&entry.dwordData, stored.data(), sizeof entry.dwordData);
        return true;
    }
    if (!IsTextType(type)) {
        if (type == REG_LINK) return false;  // UTF-16 text too, however the ANSI functions treat it
        entry.valueType = kTypeRaw;
        entry.rawType = type;
        entry.rawData = stored;
        return true;
    }
    // Whole characters ending in a terminator: without one the ANSI write
    // would add it.
    if (stored.size() < sizeof(wchar_t) || stored.size() % sizeof(wchar_t) != 0) return false;
    std::wstring text(stored.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), stored.data(), stored.size());
    if (text.back() != L'\0') return false;
    const auto ansi = AnsiExactly(text);
    if (!ansi) return false;
    if (type != REG_MULTI_SZ && text.find(L'\0') == text.size() - 1) {
        entry.valueType = type == REG_SZ ? kTypeString : kTypeExpandString;
        entry.stringData = ansi->substr(0, ansi->size() - 1);
    } else {
        entry.valueType = kTypeRaw;
        entry.rawType = type;
        entry.rawData = *ansi;
    }
    return true;
}

// The type and stored bytes that writing the entry back gives, to compare
// with what the registry holds now.
std::pair<DWORD, std::string> StoredFormOf(const RegistryEntry& entry) {
    switch (entry.valueType) {
    case kTypeDword:
        return {REG_DWORD, std::string(reinterpret_cast<const char*>(&entry.dwordData), sizeof entry.dwordData)};
    case kTypeString:
    case kTypeExpandString:
        return {entry.valueType == kTypeString ? REG_SZ : REG_EXPAND_SZ,
                BytesOf(WideFromAnsi(entry.stringData) + L'\0')};
    case kTypeRaw:
        return {entry.rawType, IsTextType(entry.rawType) ? BytesOf(WideFromAnsi(entry.rawData)) : entry.rawData};
    default:
        return {entry.rawType, entry.rawData};
    }
}

// The entry as a read of its value found it: the read's Windows error (0:
// read), the type and the stored bytes.
void TakeReadValue(RegistryEntry& entry, std::uint32_t read, DWORD type, std::string stored) {
    entry.present = 0;
    entry.valueType = 0;
    entry.dwordData = 0;
    entry.stringData.clear();
    entry.rawType = 0;
    entry.rawData.clear();
    entry.missingKeys = -1;
    if (read != 0) {
        if (entry.removeWhenAbsent) entry.missingKeys = CountMissingKeys(RootHandle(entry.root), entry.keyPath);
        return;
    }
    // Anything the plain form cannot put back exactly is kept as stored.
    if (!TakePlainForm(entry, type, stored)) {
        entry.valueType = kTypeStored;
        entry.rawType = type;
        entry.rawData = std::move(stored);
    }
    entry.present = 1;
}

// The keys of one capture, each opened once: rows of the catalogue share
// keys, and name keys below a program identifier that a machine without
// that program lacks with all of them, so below a key found not there no
// key is looked for; the first key of a path is looked at first for that.
// A key that could not be opened for another reason (its security) says
// nothing of the keys below it.
class CaptureKeys {
public:
    // The key open for reading, or the Windows error of its open.
    std::uint32_t Open(RegRoot root, const std::string& keyPath, HKEY& key) {
        const HKEY rootKey = RootHandle(root);
        const REGSAM view = RegistryViewFor(rootKey, keyPath);
        const std::string name = NameOf(root, view, keyPath);
        if (const auto slash = keyPath.find('\\'); slash != std::string::npos) {
            const std::string first = keyPath.substr(0, slash);
            if (RegistryViewFor(rootKey, first) == view) Opened(root, view, first);
        }
        for (std::size_t slash = name.find('\\'); slash != std::string::npos; slash = name.find('\\', slash + 1)) {
            const auto above = keys_.find(name.substr(0, slash));
            if (above != keys_.end() && above->second.error == ERROR_FILE_NOT_FOUND) return ERROR_FILE_NOT_FOUND;
        }
        const Key& opened = Opened(root, view, keyPath);
        key = opened.key.get();
        return opened.error;
    }

private:
    struct Key {
        UniqueKey key;
        std::uint32_t error = 0;
    };

    const Key& Opened(RegRoot root, REGSAM view, const std::string& keyPath) {
        auto [found, added] = keys_.try_emplace(NameOf(root, view, keyPath));
        if (added) found->second.error = OpenKey(RootHandle(root), keyPath, kKeyRead, found->second.key);
        return found->second;
    }

    // Root and view before the path, which is in one letter case: the
    // registry's names ignore it. A key of one view says nothing of the
    // other's.
    static std::string NameOf(RegRoot root, REGSAM view, const std::string& keyPath) {
        return std::to_string(int(root)) + ":" + std::to_string(view) + ":" + ToLowerAscii(keyPath);
    }

    std::unordered_map<std::string, Key> keys_;
};

}  // namespace

void ReadEntry(RegistryEntry& entry) {
    DWORD type = REG_NONE;
    std::string stored;
    const auto read = ReadRegStored(RootHandle(entry.root), entry.keyPath, entry.valueName, type, stored);
    TakeReadValue(entry, read, type, std::move(stored));
}

void WriteBackEntry(const RegistryEntry& entry) {
    if (entry.present != 1) {
        if (entry.removeWhenAbsent && entry.missingKeys >= 0) {
            DeleteValueAndEmptyKeys(RootHandle(entry.root), entry.keyPath, entry.valueName, entry.missingKeys);
        }
        return;
    }
    HKEY root = RootHandle(entry.root);
    // A value that holds what was captured is left alone: it is not written,
    // so neither its key's write time nor a locked key is touched.
    const auto [type, bytes] = StoredFormOf(entry);
    DWORD nowType = REG_NONE;
    std::string now;
    if (ReadRegStored(root, entry.keyPath, entry.valueName, nowType, now) == 0 && nowType == type && now == bytes) return;
    if (entry.valueType == kTypeDword) {
        WriteRegDword(root, entry.keyPath, entry.valueName, entry.dwordData);
    } else if (entry.valueType == kTypeRaw) {
        WriteRegRaw(root, entry.keyPath, entry.valueName, entry.rawType, entry.rawData);
    } else if (entry.valueType == kTypeStored) {
        WriteRegStored(root, entry.keyPath, entry.valueName, entry.rawType, entry.rawData);
    } else {
        WriteRegString(root, entry.keyPath, entry.valueName, entry.stringData, true,
                       entry.valueType == kTypeExpandString ? REG_EXPAND_SZ : REG_SZ);
    }
}

SnapshotFileResult CaptureEntries(RegistryKeyList& list) {
    CaptureKeys keys;
    for (auto& entry : list.entries) {
        DWORD type = REG_NONE;
        std::string stored;
        HKEY key = nullptr;
        std::uint32_t read = keys.Open(entry.root, entry.keyPath, key);
        if (read == 0) read = QueryRegStored(key, entry.valueName, type, stored);
        TakeReadValue(entry, read, type, std::move(stored));
    }
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
        // Anyone may write into a shared temporary folder; only a file of
        // this user's own (or of the administrators, when the user is one
        // and runs elevated) is taken for this user's values.
        if (!OwnedByThisUser(file.get())) {
            result.foreignOwner = true;
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
