// catalogue_keys: prints the keys below HKEY_CLASSES_ROOT that the capture
// catalogue names, each once, in catalogue order. scripts/screenshots
// creates them all so that the permissions tool has every key of its work
// list to show.
#include <cstdio>
#include <set>
#include <string>

#include "registry/capture_catalogue.h"

int main() {
    std::set<std::string> printed;
    for (const CatalogueRow& row : kClassesCatalogue) {
        if (printed.insert(row.keyPath).second) std::printf("%s\n", row.keyPath);
    }
    return 0;
}
