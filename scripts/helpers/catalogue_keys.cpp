// catalogue_keys: prints every registry key that the capture catalogue
// names, each once, in catalogue order, as a full path below
// HKEY_LOCAL_MACHINE: the classes rows in the machine-wide classes store
// (where the permissions tool repairs them), then the machine rows.
// scripts/screenshots creates them all so that the tool has its whole work
// list to show.
#include <cstdio>
#include <set>
#include <string>

#include "registry/capture_catalogue.h"

namespace {

template <typename Rows>
void PrintKeys(const Rows& rows, const std::string& below, std::set<std::string>& printed) {
    for (const CatalogueRow& row : rows) {
        const std::string key = below + row.keyPath;
        if (printed.insert(key).second) std::printf("%s\n", key.c_str());
    }
}

}  // namespace

int main() {
    std::set<std::string> printed;
    PrintKeys(kClassesCatalogue, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\", printed);
    PrintKeys(kMachineCatalogue, "HKEY_LOCAL_MACHINE\\", printed);
    return 0;
}
