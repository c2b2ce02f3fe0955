// The Access generations the launcher knows, in the fixed order in which
// full editions are tried. A generation is carried as the plain year.
#pragma once

#include <array>

struct AccessGeneration {
    int year;
    const char* officeVersion;        // "10.0"
    const char* progId;               // written to Access.Application\CurVer
    const char* commandKey;           // HKEY_CLASSES_ROOT: shell open command of the full edition
    const char* sharedFolder;         // folder under "Microsoft Shared"
    int lastAccessInstall;            // 0: not written
    const char* officeTypeLibVersion; // nullptr: none
    const char* trustedLocationsVersion;  // nullptr: none
};

inline constexpr std::array<AccessGeneration, 4> kAccessGenerations = {{
    {2002, "10.0", "Access.Application.10", "Access.Application.10\\shell\\open\\command", "Office10", 0, "2.2", nullptr},
    {2003, "11.0", "Access.Application.11", "Access.Application.11\\shell\\open\\command", "Office11", 11, "2.3", nullptr},
    {2007, "12.0", "Access.Application.12", "Access.Application.12\\shell\\open\\command", "OFFICE12", 12, nullptr, "12.0"},
    {2010, "14.0", "Access.Application.14", "Access.Application.14\\shell\\open\\command", "OFFICE14", 14, nullptr, "14.0"},
}};

// The context's install folder of a generation's full edition (2010 for any
// year not listed), for a context that is filled or only read.
template <typename Context>
auto& InstallFolderOf(Context& ctx, int year) {
    switch (year) {
    case 2002: return ctx.strAccess2002Path;
    case 2003: return ctx.strAccess2003Path;
    case 2007: return ctx.strAccess2007Path;
    default: return ctx.strAccess2010Path;
    }
}

// The runtime of the target generation (2002), as Windows Installer records it.
inline constexpr const char* kRuntimeComponentKey = "769E92CC2CB71D119A12000A9CE1A23A";
inline constexpr const char* kRuntimeValueName = "9040C10900063D11C8EF00054038389C";
