// The ACL engine on a key of its own, and SetAcl.exe as the installer runs it.
#include "permissions/acl_engine.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/permissions_harness.h"

namespace {

const std::string kKey = "Software\\TarnwickAclTest";
const std::string kOn = "-on \"HKEY_CURRENT_USER\\" + kKey + "\" -ot reg ";
// Everyone may read, Guests are refused.
const std::vector<AceView> kSeeded = {{"A", 0, KEY_READ, "S-1-1-0"}, {"D", 0, KEY_ALL_ACCESS, "S-1-5-32-546"}};

class AclEngine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SeedKey(HKEY_CURRENT_USER, kKey, "D:P(A;;KR;;;WD)(D;;KA;;;BG)")); }
    void TearDown() override {
        UnlockKey(HKEY_CURRENT_USER, kKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey.c_str());
    }
};

TEST_F(AclEngine, AFailedEntryLeavesTheListUncleared) {
    // Clearing first and then failing to add would leave nobody any access.
    std::string messages;
    EXPECT_EQ(RunAclCommand(kOn + "-actn clear -clr dacl -actn ace -ace n:S-1-5-32-545;p:full;s:y "
                                  "-ace n:S-1-9-not-a-sid;p:full;s:y",
                            &messages),
              kAclObjectFailed);
    EXPECT_NE(messages.find("S-1-9-not-a-sid"), std::string::npos) << messages;
    EXPECT_EQ(KeyAces(HKEY_CURRENT_USER, kKey), kSeeded);
    // The tool's command, without the audit list, which Wine lets nobody read.
    EXPECT_EQ(RunAclCommand(kOn + "-actn ace -ace \"n:S-1-5-32-545;p:full;s:y\" -actn clear -clr dacl"), kAclOk);
    EXPECT_EQ(KeyAces(HKEY_CURRENT_USER, kKey), std::vector<AceView>{UsersFullControl()});
}

TEST_F(AclEngine, SetAclExeAddsTheInstallersEntryAndReportsWhatItCannotDo) {
    auto run = [](const std::string& arguments) {
        RunningProcess process = StartProcess("\"" + BinDir() + "SetAcl.exe\" " + arguments);
        return WaitForExit(process, 30000);
    };
    const std::string ace = " -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"";
    EXPECT_EQ(run(kOn + ace), kAclOk);
    std::vector<AceView> aces = KeyAces(HKEY_CURRENT_USER, kKey), expected = {UsersFullControl(), kSeeded[0], kSeeded[1]};
    std::sort(aces.begin(), aces.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(aces, expected) << "the entries there were stay beside the new one";
    const std::string folder = TempDir() + "Tarnwick Acl Folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_EQ(run("-on \"" + folder + "\" -ot file" + ace), kAclOk);
    RemoveDirectoryA(folder.c_str());
    EXPECT_EQ(run("-on \"" + folder + "\" -ot file" + ace), kAclObjectFailed);
    // A wildcard is a name like any other, never expanded into file names.
    EXPECT_EQ(run("-on \"" + TempDir() + "*\" -ot file" + ace), kAclObjectFailed);
    EXPECT_EQ(run("-on x -ot printer" + ace), kAclBadCommand);
    // A SetACL option this engine does not carry out ends the run unapplied.
    EXPECT_EQ(run(kOn + ace + " -ownr \"n:S-1-5-32-545;s:y\""), kAclBadCommand);
}

// Whether this Wine keeps a protected DACL set on a folder of our own.
bool FileDaclsKept() {
    const std::string probe = TempDir() + "Tarnwick Dacl Probe";
    CreateDirectoryA(probe.c_str(), nullptr);
    UniqueLocal<PSECURITY_DESCRIPTOR> wanted, read;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    UniqueLocal<char*> text;
    const bool kept =
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;BU)", SDDL_REVISION_1, wanted.receive(),
                                                             nullptr) &&
        GetSecurityDescriptorDacl(wanted.get(), &present, &dacl, &defaulted) &&
        SetNamedSecurityInfoA(const_cast<char*>(probe.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                              nullptr) == ERROR_SUCCESS &&
        GetNamedSecurityInfoA(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, read.receive()) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(read.get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             text.receive(), nullptr) &&
        std::string(text.get()) == "D:P(A;;FA;;;BU)";
    RemoveDirectoryA(probe.c_str());
    return kept;
}

// The installer's grant on a folder named by a wide string: a name outside
// the ANSI code page reaches the folder whole, where the narrow name cannot.
TEST(AclEngineWideName, GrantsUsersOnAFolderNamedOutsideTheAnsiCodePage) {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"Tarnwick \u0414\u0430\u043d\u043d\u044b\u0435 \u03a9";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    AclCommand command;
    std::string refusal;
    ASSERT_TRUE(ParseAclArguments({"grant", "-on", "the data folder", "-ot", "file", "-actn", "ace", "-ace",
                                   "n:S-1-5-32-545;p:full;s:y"},
                                  command, refusal))
        << refusal;
    DWORD error = ERROR_GEN_FAILURE;
    EXPECT_EQ(RunAclEngineOnFile(command, folder, &error), kAclOk);
    EXPECT_EQ(error, DWORD(ERROR_SUCCESS));

    // The entry as the security API reads it back through the wide name.
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    PACL dacl = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, descriptor.receive()),
              DWORD(ERROR_SUCCESS));
    bool usersEntry = false;
    ACL_SIZE_INFORMATION size = {};
    if (dacl && GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) {
        for (DWORD i = 0; i < size.AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace)) continue;
            const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            UniqueLocal<char*> sid;
            if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                ConvertSidToStringSidA(reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart)), sid.receive()) &&
                std::string(sid.get()) == "S-1-5-32-545" && allowed->Mask == FILE_ALL_ACCESS &&
                (allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                    (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
                usersEntry = true;
        }
    }
    RemoveDirectoryW(folder.c_str());

    // Gone, the folder makes the engine fail with the Windows error of it.
    error = ERROR_SUCCESS;
    EXPECT_EQ(RunAclEngineOnFile(command, folder, &error), kAclObjectFailed);
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));

    if (!FileDaclsKept()) GTEST_SKIP() << "this Wine keeps no file DACLs: the Users entry cannot be read back";
    EXPECT_TRUE(usersEntry) << "no Users full-control entry inherited by subfolders and files";
}

}  // namespace
