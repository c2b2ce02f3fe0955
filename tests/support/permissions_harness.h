// What the permissions scenarios share: keys seeded with a security
// descriptor of the test's choosing, the entries a key carries, and the
// permissions tool watched from outside while it runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <compare>
#include <ostream>
#include <string>
#include <vector>

// One explicit entry of a key's access list: "A" allowed or "D" denied,
// the ACE flags, the access mask and the SID as text.
struct AceView {
    std::string type;
    unsigned flags = 0;
    DWORD mask = 0;
    std::string sid;
    auto operator<=>(const AceView&) const = default;
};
void PrintTo(const AceView& ace, std::ostream* out);

// The Users full-control entry that a repaired key carries alone.
inline AceView UsersFullControl() { return {"A", CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, "S-1-5-32-545"}; }

// The security API's name of a registry key: "MACHINE\\<key>" and the like.
std::string SecurityObjectName(HKEY root, const std::string& key);
// Creates the key when missing and gives it the SDDL access list ("D:..."),
// inheriting nothing.
::testing::AssertionResult SeedKey(HKEY root, const std::string& key, const std::string& sddl);
// An unprotected list granting everyone full control, so the key can be
// deleted whatever a test left on it.
void UnlockKey(HKEY root, const std::string& key);
LONG OpenForWriting(HKEY root, const std::string& key);  // KEY_READ | KEY_WRITE
// The explicit entries of the key's access list, in the key's order.
std::vector<AceView> KeyAces(HKEY root, const std::string& key);

// What was seen of the tool while the launcher ran with the arguments.
struct ToolSighting {
    long launcherExit = -1;
    bool startedByLauncher = false;
    std::string toolPath;  // empty: the tool was not seen
    bool fileWasTheTool = false;
    DWORD writeOpenError = 0;  // opening the file for writing while the tool ran
    DWORD deleteError = 0;     // deleting it meanwhile
    std::string dialogCaption;
    bool dialogHadProgressBar = false;
};
ToolSighting RunTarnwickWatchingTool(const std::string& arguments);

// TarnwickPermissions.exe started with the parameters while the responder
// watches it from before its start: its exit code, and the caption of the
// dialog the responder saw (count 0 when it saw none).
struct ToolRun {
    long exitCode = -1;
    int dialogCount = -1;
    std::string caption;
};
ToolRun RunToolWithResponder(const std::string& parameters);

// Files named like the tool in the temporary folder.
std::vector<std::string> ToolFilesInTemp();
