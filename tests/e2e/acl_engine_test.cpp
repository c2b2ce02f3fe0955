// The ACL engine on a key of its own, and SetAcl.exe as the installer runs it.
#include "permissions/acl_engine.h"

#include <gtest/gtest.h>

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

}  // namespace
