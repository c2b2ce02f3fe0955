#pragma once

#include "launcher/context.h"

// The three flags from GetVersionExA; all 0 when the call fails.
OsVersionFlags QueryOsVersionFlags();
