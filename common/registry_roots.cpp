#include "common/registry_roots.h"

#include "common/ascii_text.h"

const RegistryRootNames* FindRootByName(std::string_view name) {
    for (const RegistryRootNames& row : kRegistryRoots) {
        if (EqualsIgnoringAsciiCase(name, row.longName) || EqualsIgnoringAsciiCase(name, row.shortName)) return &row;
    }
    return nullptr;
}
