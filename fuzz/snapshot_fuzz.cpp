// The snapshot file's reader fed arbitrary bytes, both as they come and
// enciphered first (so that they reach the line parser); whatever the
// reader takes from a file must survive being written and read again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "registry/snapshot.h"

namespace {

bool SameEntries(const std::vector<RegistryEntry>& a, const std::vector<RegistryEntry>& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].present != b[i].present) return false;
        if (!a[i].present) continue;
        if (a[i].valueType != b[i].valueType || a[i].stringData != b[i].stringData || a[i].dwordData != b[i].dwordData ||
            a[i].rawType != b[i].rawType || a[i].rawData != b[i].rawData) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static const std::vector<RegistryEntry> catalogue = CatalogueEntries();

    std::vector<RegistryEntry> asFile = catalogue;
    ApplySnapshotBytes(bytes, asFile);

    std::vector<RegistryEntry> asText = catalogue;
    ApplySnapshotBytes(EncipherSnapshot(bytes), asText);
    std::vector<RegistryEntry> again = catalogue;
    // Every line the writer produces ends in a line feed: nothing of its
    // own output may be taken for a file cut short.
    if (ApplySnapshotBytes(EncipherSnapshot(BuildSnapshotText(asText)), again).damagedEnd) __builtin_trap();
    if (!SameEntries(asText, again)) __builtin_trap();
    // Every form, the values kept as stored bytes included, is written the
    // same way again: no line changes its tag or data on a second pass.
    if (BuildSnapshotText(again) != BuildSnapshotText(asText)) __builtin_trap();
    return 0;
}
