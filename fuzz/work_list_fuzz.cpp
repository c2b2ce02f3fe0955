// The permissions tool's classes work list built from arbitrary key lists
// (one key per line of the input).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "permissions/work_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> keys;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            keys.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    keys.push_back(current);
    const auto list = BuildClassesWorkList(keys);
    // Every entry comes from a key: never more entries than keys, and none
    // longer than the longest key.
    if (list.size() > keys.size()) __builtin_trap();
    std::size_t longest = 0;
    for (const auto& key : keys) longest = std::max(longest, key.size());
    for (const auto& entry : list) {
        if (entry.size() > longest) __builtin_trap();
        RepermissionCommand(RepairRoot::Classes, entry);
    }
    AsksForNoProgress(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
