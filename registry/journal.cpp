#include "registry/journal.h"

#include <windows.h>

#include <optional>

#include "common/handles.h"
#include "registry/key_list.h"

namespace {

constexpr const char* kJournalName = "~ZQJournal.dat";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE) return std::nullopt;
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (size > 0 && (!ReadFile(file.get(), bytes.data(), size, &read, nullptr) || read != size)) return std::nullopt;
    return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN,
                                nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) || written != bytes.size()) {
        return false;
    }
    return FlushFileBuffers(file.get()) != 0;
}

}  // namespace

std::string JournalFilePath() {
    std::string path = SnapshotFilePath();
    const auto slash = path.find_last_of("\\/");
    path.resize(slash == std::string::npos ? 0 : slash + 1);
    return path + kJournalName;
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

bool WriteJournal(const std::vector<RegistryEntry>& entries, const std::string& path) {
    const std::string bytes = EncipherSnapshot(BuildSnapshotText(entries));
    const std::string fresh = path + ".new";
    // A journal only replaces the one before it once it is known to be
    // whole on disk: a half-written journal would put back half the values.
    if (!WriteWholeFile(fresh, bytes) || ReadWholeFile(fresh) != bytes ||
        !MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(fresh.c_str());
        return false;
    }
    return true;
}

bool PutBackJournal(const std::string& path) {
    auto bytes = ReadWholeFile(path);
    if (!bytes) return false;
    RegistryKeyList list;
    BuildCaptureList(list);
    AddLanguageEntries2007(list);
    RegistryEntry level = MacroSecurityLevelEntry(0);
    level.present = 0;  // written back only when the journal names it
    list.entries.push_back(std::move(level));
    ApplySnapshotBytes(std::move(*bytes), list.entries);
    RestoreEntries(list);  // useSnapshotFile 0: the entries the journal named, nothing else
    return true;
}

void DeleteJournal(const std::string& path) { DeleteFileA(path.c_str()); }
