// The fixed list of registry values that every key list starts with.
#pragma once

#include <array>
#include <cstddef>

struct CatalogueRow {
    const char* keyPath;
    const char* valueName;  // empty: the key's default value
};

constexpr std::size_t kClassesRowCount = 346;  // below HKEY_CLASSES_ROOT
constexpr std::size_t kMachineRowCount = 2;    // below HKEY_LOCAL_MACHINE

extern const std::array<CatalogueRow, kClassesRowCount> kClassesCatalogue;
extern const std::array<CatalogueRow, kMachineRowCount> kMachineCatalogue;
