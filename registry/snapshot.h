// Watched registry values and the snapshot file's text and cipher. Nothing
// here touches Windows: the key list reads and writes the registry, and the
// file itself, elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/registry_roots.h"

// Value types an entry carries.
constexpr int kTypeString = 1;        // REG_SZ
constexpr int kTypeExpandString = 2;  // REG_EXPAND_SZ, kept as such when written back
constexpr int kTypeDword = 4;         // REG_DWORD
// Any other value that exists (bytes, 64-bit numbers, short DWORDs, and
// multi-strings or strings with a zero inside whose text the ANSI code page
// carries): kept byte for byte as the ANSI registry functions read and write
// them, with its registry type.
constexpr int kTypeRaw = 100;
// A value that no ANSI form puts back exactly (a path in Greek or Chinese
// script, a string of no bytes, without its terminator or of odd length, a
// link): its type and the bytes exactly as the registry stores them, strings
// as UTF-16, as the wide registry functions read and write them.
constexpr int kTypeStored = 101;

// Registry value types by their numbers, as the registry stores them: the
// portable code has no <windows.h>. REG_QWORD is the last type there is.
inline constexpr std::uint32_t kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
                               kRegMultiSz = 7, kRegResourceList = 8, kRegResourceRequirementsList = 10,
                               kRegQword = 11;

struct RegistryEntry {
    RegRoot root = RegRoot::ClassesRoot;
    std::string keyPath;
    std::string valueName;
    int present = 0;
    int valueType = 0;
    std::uint32_t dwordData = 0;
    std::string stringData;
    std::uint32_t rawType = 0;  // the registry type when valueType is kTypeRaw or kTypeStored
    std::string rawData;
    // A value the launch writes for its user alone: when it was not there
    // at the capture it is deleted at the put-back, with the keys of its
    // path that the capture found missing (once they are empty).
    int removeWhenAbsent = 0;
    // The value was found missing: how many trailing keys of its path were
    // missing too (0: only the value). -1: not found missing.
    int missingKeys = -1;
};

// Whether the entry has something to put back: a value, or its absence.
inline bool Recorded(const RegistryEntry& entry) { return entry.present == 1 || entry.missingKeys >= 0; }

// Root name, "\", key path and, for a named value, "\" and the name.
std::string EntryLookupPath(const RegistryEntry& entry);
// The entry's snapshot line without its line feed; nothing when it records
// nothing. A value found missing is "REG_ABSENT" and the number of missing keys.
std::optional<std::string> FormatEntryLine(const RegistryEntry& entry);
// The maximal runs of characters that are not separators.
std::vector<std::string> SplitFields(std::string_view text, std::string_view separators);

// The catalogue as entries: the classes rows, then the machine rows.
std::vector<RegistryEntry> CatalogueEntries();
// Removes the first HKEY_CLASSES_ROOT default-value entry of the key path.
bool DropEntry(std::vector<RegistryEntry>& entries, std::string_view keyPath);

// What a launch of Access 2013 or later writes for its user (below
// HKEY_CURRENT_USER), removed again when it was not there: CurVer of
// Access.Application in the user's classes, the first-run opt-in of the
// Office version, and the "Path" and "AllowSubfolders" of the trusted
// location key, when one is named.
std::vector<RegistryEntry> UserPreparationEntries(std::string_view officeVersion, std::string_view locationKey);
// The user's CurVer of Access.Application, which the merged classes root prefers.
inline constexpr const char* kUserCurVerKey = "Software\\Classes\\Access.Application\\CurVer";
// "Software\Microsoft\Office\<version>\Access\Security\Trusted Locations"
std::string TrustedLocationsKey(std::string_view officeVersion);

// The snapshot text of the present entries, one line each.
std::string BuildSnapshotText(const std::vector<RegistryEntry>& entries);
// The file's bytes for a text: padded with 0xFF to a multiple of 8, enciphered.
std::string EncipherSnapshot(std::string text);
// A file's text: deciphered when its length is a non-zero multiple of 8,
// trailing 0xFF bytes dropped, ended at the first zero byte.
std::string DecipherSnapshot(std::string bytes);
// What a file's bytes gave the entries.
struct SnapshotApplied {
    std::size_t valuesSet = 0;  // lines that named an entry and set its value
    // The text ended in a piece without its line feed: every line the writer
    // produces ends in one, so the file was cut short and the piece is ignored.
    bool damagedEnd = false;
    // Lines refused, each as its value's path and the reason: a value the
    // launcher does not keep, a form capture never writes, an odd type, or
    // more data than any kept value holds. Nothing of them is applied.
    std::vector<std::string> refused;
};
// The most data one value of a snapshot file may carry: far above any value
// the catalogue holds, far below what would fill the registry.
constexpr std::size_t kMaxSnapshotValueBytes = 64 * 1024;
// Why a value is not one that a snapshot file may carry (an odd registry
// type, text without its terminator in the narrow form, more than the most
// data); empty when it is. The reader refuses such lines, so a writer of
// snapshot files must not write them.
std::string SnapshotValueRefusal(const RegistryEntry& value);
// Applies a file's bytes to the entries: every whole line that names an
// entry gives it the line's data and makes it present.
// With userLocations, a line for the "Path" or "AllowSubfolders" of any
// trusted location of Access 2013 or later (a launch names its key only
// when it runs) adds its entry.
SnapshotApplied ApplySnapshotBytes(std::string bytes, std::vector<RegistryEntry>& entries,
                                   bool userLocations = false);
