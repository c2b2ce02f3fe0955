// The one state record of a launch run, created by the launch worker and
// released when it ends. Field names are the ones the log and the rest of the
// launcher use. Handles are kept as plain pointers so that this header, and
// the command-line code that fills it, stay free of <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "tarnwick_version.h"

// Target generation of this launcher build: the starting value of the chosen
// generation and the runtime edition that is searched for.
constexpr int kTargetAccessGeneration = 2002;
constexpr const char* kLauncherVersion = TARNWICK_VERSION_TEXT;

struct OsVersionFlags {
    int bIsNT4 = 0;
    int bIsVistaOrLater = 0;
    int bIsWin9x = 0;
};

// Show states handed to Access (SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED).
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;

struct LauncherContext {
    int bCapture = 0;
    int bRestore = 0;
    int bOpenKeys = 0;
    int bNoProgress = 0;
    int nAccessShowCmd = kShowMaximized;
    int bSubfolders = 0;
    int bWindowsProfile = 0;
    int bWaitForAccessToClose = 0;
    std::int32_t nLangCode = 0;
    std::int32_t nWaitMs = 15000;
    std::string strCmdKey;
    std::string strCmdValueName = "CmdLine";
    std::string strTrustedFolder;  // accepted for compatibility; nothing reads it
    std::string strSecFile;
    std::string strTitleBar;
    std::string strAccessCmdLine;
    int nAccessVersion = kTargetAccessGeneration;
    std::string strAccessExePath;
    std::string strAccess2002Path;
    std::string strAccess2003Path;
    std::string strAccess2007Path;
    std::string strAccess2010Path;
    std::string strAccess2013Path;
    std::string strAccess2016Path;
    std::string strMdbDefault;
    std::string strOrigCurVer;
    std::string strNewCurVer;
    std::string strCommonFilesDir;  // at most 260 characters
    std::string strRegistryErrorPrompt;
    std::string strDBDirectory;
    // 2013 and later: the trusted location the launch makes or marks for the
    // database's folder (below HKEY_CURRENT_USER), chosen before the capture
    // so that the capture names its values; empty when there is none.
    std::string strTrustedLocationKey;
    int bTrustedLocationExists = 0;  // the location was there already (its Path is not written)
    std::uint32_t nSavedSecurityLevel = 0;
    OsVersionFlags os;
    void* hAccessProcess = nullptr;  // HANDLE of the started program
    std::uint32_t dwAccessProcessId = 0;
    void* hHostWindow = nullptr;  // HWND the worker posts its close request to
};
