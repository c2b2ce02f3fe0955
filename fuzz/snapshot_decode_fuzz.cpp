// The snapshot tool's decoder fed arbitrary bytes, as a file and enciphered
// first (so that they reach the line checks), and its .reg reader fed the
// same bytes as text. Whatever decode accepts must print as .reg text that
// the tool reads back to a value that stays the same from then on, and
// whatever encode writes must decode.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/snapshot/reg_text.h"
#include "tools/snapshot/snapshot_entries.h"

namespace {

bool SameValue(const RegistryEntry& a, const RegistryEntry& b) {
    return a.valueType == b.valueType && a.stringData == b.stringData && a.dwordData == b.dwordData &&
           a.rawType == b.rawType && a.rawData == b.rawData;
}

// The value a .reg line of the entry gives back.
RegistryEntry ThroughRegText(const RegistryEntry& entry) {
    std::string error;
    const auto text = RegFileText({entry}, error);
    if (!text) __builtin_trap();
    const auto parse = ParseRegText(*text, error);
    if (!parse || parse->values.size() != 1) __builtin_trap();
    const auto conversion = ValueFromRegData(parse->values[0]);
    if (!conversion.value) __builtin_trap();
    RegistryEntry value = entry;
    value.valueType = conversion.value->valueType;
    value.stringData = conversion.value->stringData;
    value.dwordData = conversion.value->dwordData;
    value.rawType = conversion.value->rawType;
    value.rawData = conversion.value->rawData;
    return value;
}

void CheckDecode(const std::string& bytes) {
    std::string error;
    const auto entries = EntriesOfSnapshotFile(bytes, error);
    if (!entries) {
        if (error.empty()) __builtin_trap();
        return;
    }
    for (const auto& entry : *entries) {
        const RegistryEntry once = ThroughRegText(entry);
        if (!SameValue(once, ThroughRegText(once))) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckDecode(bytes);
    CheckDecode(EncipherSnapshot(bytes));

    std::string error;
    const auto text = DecodeRegFileBytes(bytes, error);
    if (!text) return 0;
    const auto parse = ParseRegText(*text, error);
    if (!parse) return 0;
    const SnapshotEncoding encoding = SnapshotFromRegText(*parse);
    if (encoding.fileBytes && !EntriesOfSnapshotFile(*encoding.fileBytes, error)) __builtin_trap();
    return 0;
}
