// An owner for Windows Installer handles (databases, views, records), so
// that each is closed on every path of an action.
#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include "common/handles.h"

struct MsiHandleTraits {
    using Handle = MSIHANDLE;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { MsiCloseHandle(h); }
};

using UniqueMsiHandle = UniqueOwner<MsiHandleTraits>;
