#include "access/preparation.h"

// Registry preparation is not built yet: the registry is left as it is.
void PrepareAccessRegistryHead(LauncherContext&) {}
void PrepareAccessVersionRegistration(LauncherContext&) {}
void PrepareAccessGenerationBlock(LauncherContext&) {}
void PrepareSecurityTail(LauncherContext&) {}
void RestoreMacroSecurityLevel(const LauncherContext&) {}
