#include "permissions/tool_launch.h"

// The permissions tool is not embedded yet: nothing to run.
void RunTarnwickPermissions(int) {}
