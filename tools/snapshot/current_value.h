// The registry's value now for a snapshot entry (Windows only).
#pragma once

#include "registry/snapshot.h"

// The value read as a capture reads it; present 0 when there is none.
RegistryEntry CurrentValueOf(const RegistryEntry& captured);
