#include "tools/snapshot/current_value.h"

#include "registry/key_list.h"

RegistryEntry CurrentValueOf(const RegistryEntry& captured) {
    RegistryEntry current;
    current.root = captured.root;
    current.keyPath = captured.keyPath;
    current.valueName = captured.valueName;
    ReadEntry(current);
    return current;
}
