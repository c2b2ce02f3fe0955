// A snapshot file as a list of entries, checked more strictly than the
// launcher's reader checks it (which passes over whatever it cannot use),
// and the snapshot file a list of .reg values makes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/snapshot.h"
#include "tools/snapshot/reg_text.h"

// Every line of the file as an entry of the line's own root, key path and
// value name, in file order. The value is whatever the launcher's reader
// takes from the line, so every tag and form the reader knows is known
// here. Nothing, with one sentence in error, when the bytes are not whole
// 8-byte blocks, do not decipher to complete lines, or hold a line the
// reader would not apply.
std::optional<std::vector<RegistryEntry>> EntriesOfSnapshotFile(const std::string& bytes, std::string& error);

// The snapshot file a capture would have written had the registry held the
// values of the .reg text: the capture catalogue's entries in their order,
// each taking the value that names it (root, key path and value name equal
// with ASCII letter case ignored, as the registry compares them; the last
// such value when several do).
struct SnapshotEncoding {
    std::optional<std::string> fileBytes;  // nothing when a value cannot be carried
    std::vector<std::string> notices;      // values passed over: outside the catalogue, deletions
    std::string error;
};
SnapshotEncoding SnapshotFromRegText(const RegTextParse& parse);

// Text for a message: printable ASCII as it is, other bytes as \xNN, cut
// after the given length.
std::string Shown(std::string_view text, size_t limit = 60);
