#include "registry/journal.h"

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <optional>
#include <unordered_set>

#include "common/handles.h"
#include "common/system_library.h"
#include "registry/key_list.h"
#include "registry/user_identity.h"

namespace {

constexpr const char* kJournalName = "~ZQJournal";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";

// Asked once: the machine's shared application data folder does not move
// while the process runs.
std::string JournalFolder() {
    static const std::string folder = [] {
        char common[MAX_PATH] = {};
        return ShellFolderPath(CSIDL_COMMON_APPDATA, common) ? std::string(common) + "\\Tarnwick" : std::string();
    }();
    return folder;
}

// Read through the handle whose owner was checked, so that the file read is
// the file judged.
std::optional<std::string> ReadWholeFile(HANDLE file) {
    const DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) return std::nullopt;
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (size > 0 && (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size)) return std::nullopt;
    return bytes;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    return ReadWholeFile(file.get());
}

// Everyone may read a journal; only its user, SYSTEM and the administrators
// may change it, whatever the folder lets others do.
bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    const std::string sddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + CurrentUserSidText() + ")(A;;FR;;;WD)";
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, descriptor.receive(),
                                                              nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN,
                                nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) || written != bytes.size()) {
        return false;
    }
    return FlushFileBuffers(file.get()) != 0;
}

}  // namespace

std::string MachineJournalPath() { return JournalFolder() + "\\" + kJournalName + ".dat"; }

std::string UserJournalPath(const std::string& userSid) {
    return JournalFolder() + "\\" + kJournalName + "-" + userSid + ".dat";
}

RegistryEntry MacroSecurityLevelEntry(std::uint32_t level) {
    RegistryEntry entry;
    entry.root = RegRoot::CurrentUser;
    entry.keyPath = kSecurity2003;
    entry.valueName = "Level";
    entry.present = 1;
    entry.valueType = kTypeDword;
    entry.dwordData = level;
    return entry;
}

namespace {

std::vector<RegistryEntry> BuildJournalEntries() {
    RegistryKeyList list;
    BuildCaptureList(list);
    AddLanguageEntries2007(list);
    RegistryEntry level = MacroSecurityLevelEntry(0);
    level.present = 0;  // written back only when the journal names it
    list.entries.push_back(std::move(level));
    std::unordered_set<std::string> named;
    for (const RegistryEntry& entry : list.entries) named.insert(EntryLookupPath(entry));
    for (const char* version : {"15.0", "16.0"}) {
        for (RegistryEntry& entry : UserPreparationEntries(version, "")) {
            if (named.insert(EntryLookupPath(entry)).second) list.entries.push_back(std::move(entry));
        }
    }
    return std::move(list.entries);
}

}  // namespace

std::vector<RegistryEntry> JournalEntries() {
    // The same rows for every journal: built once, as a launch reads and
    // puts back several.
    static const std::vector<RegistryEntry> rows = BuildJournalEntries();
    return rows;
}

bool WriteJournal(const std::vector<RegistryEntry>& entries, const std::string& path, bool replace) {
    const std::string bytes = EncipherSnapshot(BuildSnapshotText(entries));
    // One new file per process: launches write at the same time.
    const std::string fresh = path + "." + std::to_string(GetCurrentProcessId()) + ".new";
    CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
    // A journal only replaces the one before it once it is known to be
    // whole on disk: a half-written journal would put back half the values.
    if (!WriteWholeFile(fresh, bytes) || ReadWholeFile(fresh) != bytes ||
        !MoveFileExA(fresh.c_str(), path.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(fresh.c_str());
        return false;
    }
    return true;
}

JournalRead ReadJournal(const std::string& path, std::vector<RegistryEntry>& entries) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? JournalRead::Missing
                                                                               : JournalRead::Unreadable;
    }
    if (!OwnedByThisUserOrTheMachine(file.get())) return JournalRead::Foreign;
    auto bytes = ReadWholeFile(file.get());
    if (!bytes) return JournalRead::Unreadable;
    ApplySnapshotBytes(std::move(*bytes), entries, true);
    return JournalRead::Read;
}

bool PutBackJournal(const std::string& path) {
    RegistryKeyList list;
    list.entries = JournalEntries();
    if (ReadJournal(path, list.entries) != JournalRead::Read) return false;
    RestoreEntries(list);  // useSnapshotFile 0: the entries the journal named, nothing else
    return true;
}

void DeleteJournal(const std::string& path) {
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !OwnedByThisUserOrTheMachine(file.get())) return;
    }
    DeleteFileA(path.c_str());
}
