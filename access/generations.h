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
    // 2013 and later: prepared for the user alone (nothing machine-wide), and
    // also found through Windows Installer's component of MSACCESS.EXE (32-
    // and 64-bit) and through Click-to-Run.
    bool forUserAlone = false;
    const char* installerComponents[2] = {nullptr, nullptr};  // {32-bit, 64-bit}, braced
    const char* clickToRunKey = nullptr;     // HKEY_LOCAL_MACHINE, in the 64-bit view
    const char* clickToRunFolder = nullptr;  // below its InstallationPath
};

inline constexpr std::array<AccessGeneration, 6> kAccessGenerations = {{
    {2002, "10.0", "Access.Application.10", "Access.Application.10\\shell\\open\\command", "Office10", 0, "2.2", nullptr},
    {2003, "11.0", "Access.Application.11", "Access.Application.11\\shell\\open\\command", "Office11", 11, "2.3", nullptr},
    {2007, "12.0", "Access.Application.12", "Access.Application.12\\shell\\open\\command", "OFFICE12", 12, nullptr, "12.0"},
    {2010, "14.0", "Access.Application.14", "Access.Application.14\\shell\\open\\command", "OFFICE14", 14, nullptr, "14.0"},
    {2013, "15.0", "Access.Application.15", "Access.Application.15\\shell\\open\\command", "OFFICE15", 0, nullptr, "15.0",
     true, {"{A3E12EF0-7C3B-4493-99A3-F92FCD0AA512}", "{3CE2B4B3-DA38-4113-8DB2-965847CDE94F}"},
     "SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration", "root\\Office15"},
    // 2016, 2019, 2021, 2024 and Microsoft 365 all register as 16.0.
    {2016, "16.0", "Access.Application.16", "Access.Application.16\\shell\\open\\command", "OFFICE16", 0, nullptr, "16.0",
     true, {"{E34AA7C4-8845-4BD7-BAC6-26554B60823B}", "{27C919A6-3FA5-47F9-A3EC-BC7FF2AAD452}"},
     "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration", "root\\Office16"},
}};

inline const AccessGeneration* GenerationOf(int year) {
    for (const auto& generation : kAccessGenerations) {
        if (generation.year == year) return &generation;
    }
    return nullptr;
}

inline bool PreparedForUserAlone(int year) {
    const AccessGeneration* generation = GenerationOf(year);
    return generation && generation->forUserAlone;
}

// The context's install folder of a generation's full edition (2010 for any
// year not listed), for a context that is filled or only read.
template <typename Context>
auto& InstallFolderOf(Context& ctx, int year) {
    switch (year) {
    case 2002: return ctx.strAccess2002Path;
    case 2003: return ctx.strAccess2003Path;
    case 2007: return ctx.strAccess2007Path;
    case 2013: return ctx.strAccess2013Path;
    case 2016: return ctx.strAccess2016Path;
    default: return ctx.strAccess2010Path;
    }
}

// The runtime of the target generation (2002), as Windows Installer records it.
inline constexpr const char* kRuntimeComponentKey = "769E92CC2CB71D119A12000A9CE1A23A";
inline constexpr const char* kRuntimeValueName = "9040C10900063D11C8EF00054038389C";
