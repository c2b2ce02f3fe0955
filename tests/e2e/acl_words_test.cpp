// Every word the ACL engine accepts (modes, inheritance flags, permissions),
// carried out on a key, a folder and a file of the test's own and read back
// from the object's lists: entry type, access mask, flags and trustee SID.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/handles.h"
#include "permissions/acl_engine.h"
#include "tests/support/permissions_harness.h"
#include "tests/support/harness.h"

namespace {

// The trustee the rows change; the test's own user is no member of it, so a
// denial written for it never locks the test out of its scratch objects.
constexpr const char* kPowerUsers = "S-1-5-32-547";
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kGuests = "S-1-5-32-546";

constexpr unsigned kCI = CONTAINER_INHERIT_ACE, kOI = OBJECT_INHERIT_ACE, kNP = NO_PROPAGATE_INHERIT_ACE,
                   kIO = INHERIT_ONLY_ACE;
constexpr unsigned kSuccess = SUCCESSFUL_ACCESS_ACE_FLAG, kFailure = FAILED_ACCESS_ACE_FLAG;

// The masks of the file permission words, as Explorer's security page names them.
constexpr DWORD kFileRead = FILE_GENERIC_READ;
constexpr DWORD kFileWrite = FILE_GENERIC_WRITE;
constexpr DWORD kFileReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr DWORD kFileModify = kFileReadExecute | FILE_GENERIC_WRITE | DELETE;
constexpr DWORD kFileModifyAndPermissions = kFileModify | WRITE_DAC;
constexpr DWORD kFileFull = FILE_ALL_ACCESS;

// One object to change: how the command names it, how the security API
// names it, and the lists it starts each row with, as SDDL and as entries.
struct Scratch {
    std::string on;
    const char* objectType;
    std::string apiName;
    SE_OBJECT_TYPE type;
    bool isFolder;
    std::string daclSeed, saclSeed;
    std::vector<AceView> dacl, sacl;
};

Scratch KeyScratch() {
    const std::string key = "Software\\TarnwickAclWords";
    return {"HKEY_CURRENT_USER\\" + key,
            "reg",
            "CURRENT_USER\\" + key,
            SE_REGISTRY_KEY,
            true,
            std::string("D:P(D;;KA;;;BG)(A;;KR;;;WD)(A;;KR;;;") + kPowerUsers + ")",
            std::string("S:P(AU;FA;KR;;;WD)(AU;SA;KA;;;") + kPowerUsers + ")",
            {{"D", 0, KEY_ALL_ACCESS, kGuests}, {"A", 0, KEY_READ, kEveryone}, {"A", 0, KEY_READ, kPowerUsers}},
            {{"U", kFailure, KEY_READ, kEveryone}, {"U", kSuccess, KEY_ALL_ACCESS, kPowerUsers}}};
}

Scratch FileScratch(const std::string& path, bool isFolder) {
    return {path,
            "file",
            path,
            SE_FILE_OBJECT,
            isFolder,
            std::string("D:P(D;;FA;;;BG)(A;;FR;;;WD)(A;;FR;;;") + kPowerUsers + ")",
            std::string("S:P(AU;FA;FR;;;WD)(AU;SA;FA;;;") + kPowerUsers + ")",
            {{"D", 0, kFileFull, kGuests}, {"A", 0, kFileRead, kEveryone}, {"A", 0, kFileRead, kPowerUsers}},
            {{"U", kFailure, kFileRead, kEveryone}, {"U", kSuccess, kFileFull, kPowerUsers}}};
}

// The explicit entries of one list in the object's order ("A" allowed,
// "D" denied, "U" audit), or the error of reading it.
struct ListRead {
    DWORD error = 0;
    std::vector<AceView> aces;
};

std::vector<AceView> AcesOf(PACL list) {
    std::vector<AceView> aces;
    ACL_SIZE_INFORMATION size = {};
    if (list) GetAclInformation(list, &size, sizeof size, AclSizeInformation);
    for (DWORD i = 0; list && i < size.AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(list, i, &raw) || (static_cast<ACE_HEADER*>(raw)->AceFlags & INHERITED_ACE)) continue;
        // Allowed, denied and audit entries share this layout.
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        const BYTE type = ace->Header.AceType;
        AceView view{type == ACCESS_ALLOWED_ACE_TYPE  ? "A"
                     : type == ACCESS_DENIED_ACE_TYPE ? "D"
                     : type == SYSTEM_AUDIT_ACE_TYPE  ? "U"
                                                      : "type " + std::to_string(type),
                     ace->Header.AceFlags, ace->Mask, ""};
        UniqueLocal<char*> text;
        if (ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), text.receive())) view.sid = text.get();
        aces.push_back(view);
    }
    return aces;
}

ListRead ReadList(const Scratch& object, bool sacl) {
    ListRead read;
    PACL list = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    read.error = GetNamedSecurityInfoA(object.apiName.c_str(), object.type,
                                       sacl ? SACL_SECURITY_INFORMATION : DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       sacl ? nullptr : &list, sacl ? &list : nullptr, descriptor.receive());
    if (read.error == ERROR_SUCCESS) read.aces = AcesOf(list);
    return read;
}

// The starting list of the object as SDDL describes it, owned with its descriptor.
struct SeedList {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    PACL list = nullptr;
};

bool MakeSeedList(const Scratch& object, bool sacl, SeedList& seed) {
    const std::string& sddl = sacl ? object.saclSeed : object.daclSeed;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, seed.descriptor.receive(),
                                                              nullptr)) {
        return false;
    }
    BOOL present = FALSE, defaulted = FALSE;
    return sacl ? GetSecurityDescriptorSacl(seed.descriptor.get(), &present, &seed.list, &defaulted)
                : GetSecurityDescriptorDacl(seed.descriptor.get(), &present, &seed.list, &defaulted);
}

bool WriteList(const Scratch& object, bool sacl) {
    SeedList seed;
    if (!MakeSeedList(object, sacl, seed)) return false;
    std::string name = object.apiName;
    const SECURITY_INFORMATION which = sacl ? (SACL_SECURITY_INFORMATION | PROTECTED_SACL_SECURITY_INFORMATION)
                                            : (DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION);
    return SetNamedSecurityInfoA(name.data(), object.type, which, nullptr, nullptr, sacl ? nullptr : seed.list,
                                 sacl ? seed.list : nullptr) == ERROR_SUCCESS;
}

std::vector<AceView> Sorted(std::vector<AceView> aces) {
    std::sort(aces.begin(), aces.end());
    return aces;
}

// Gives the object its starting lists and says whether the platform keeps
// them: the reason to skip when it does not, empty when it does.
std::string SeedLists(const Scratch& object, bool withSacl) {
    for (const bool sacl : {false, true}) {
        if (sacl && !withSacl) continue;
        const char* name = sacl ? "audit list (SACL)" : "access list (DACL)";
        if (sacl && !EnableSecurityPrivilege()) return std::string("the privilege for the ") + name + " is not held";
        if (!WriteList(object, sacl)) {
            return std::string("the ") + name + " of " + object.apiName + " cannot be written here (error " +
                   std::to_string(GetLastError()) + ")";
        }
        const ListRead read = ReadList(object, sacl);
        if (read.error != ERROR_SUCCESS) {
            return std::string("the ") + name + " of " + object.apiName + " cannot be read here (error " +
                   std::to_string(read.error) + ")";
        }
        if (Sorted(read.aces) != Sorted(sacl ? object.sacl : object.dacl)) {
            return std::string("the ") + name + " written to " + object.apiName + " is not kept here";
        }
    }
    return "";
}

// Denied entries come before allowed ones, or the denial does not take
// effect for rights an earlier entry allows.
::testing::AssertionResult DeniedBeforeAllowed(const std::vector<AceView>& aces) {
    bool allowedSeen = false;
    for (const AceView& ace : aces) {
        if (ace.type == "A") allowedSeen = true;
        if (ace.type == "D" && allowedSeen) {
            return ::testing::AssertionFailure() << "a denied entry follows an allowed one: "
                                                 << ::testing::PrintToString(aces);
        }
    }
    return ::testing::AssertionSuccess();
}

// One -ace and the lists it leaves, besides the inherited entries. An empty
// expected audit list means the row leaves the audit list as it was.
struct Row {
    std::string ace;
    std::vector<AceView> dacl;
    std::vector<AceView> sacl;
};

std::vector<AceView> With(std::vector<AceView> aces, const std::vector<AceView>& more) {
    aces.insert(aces.end(), more.begin(), more.end());
    return aces;
}
std::vector<AceView> Without(std::vector<AceView> aces, const std::string& sid) {
    std::erase_if(aces, [&](const AceView& ace) { return ace.sid == sid; });
    return aces;
}

std::string CommandFor(const Scratch& object, const Row& row) {
    return "-on \"" + object.on + "\" -ot " + object.objectType + " -actn ace -ace \"" + row.ace + "\"";
}

void ExpectLists(const Scratch& object, const Row& row, const std::vector<AceView>& dacl,
                 const std::vector<AceView>* sacl) {
    EXPECT_EQ(Sorted(dacl), Sorted(row.dacl));
    EXPECT_TRUE(DeniedBeforeAllowed(dacl));
    if (sacl) {
        EXPECT_EQ(Sorted(*sacl), Sorted(row.sacl.empty() ? object.sacl : row.sacl));
    }
}

// Each row carried out on the object itself and read back from it.
void CheckOnTheObject(const Scratch& object, const std::vector<Row>& rows, bool audit) {
    for (const Row& row : rows) {
        SCOPED_TRACE(object.apiName + " -ace " + row.ace);
        ASSERT_EQ(SeedLists(object, audit), "");
        std::string messages;
        ASSERT_EQ(RunAclCommand(CommandFor(object, row), &messages), kAclOk) << messages;
        const ListRead dacl = ReadList(object, false);
        ASSERT_EQ(dacl.error, DWORD(ERROR_SUCCESS));
        const ListRead sacl = audit ? ReadList(object, true) : ListRead{};
        ASSERT_EQ(sacl.error, DWORD(ERROR_SUCCESS));
        ExpectLists(object, row, dacl.aces, audit ? &sacl.aces : nullptr);
    }
}

// Each row's lists as the engine builds them from the starting lists, the
// ones it would write: this part of the work needs no object that keeps them.
void CheckInTheBuiltLists(const Scratch& object, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(object.apiName + " -ace " + row.ace);
        std::vector<std::string> elements;
        ASSERT_TRUE(SplitAclCommandText(CommandFor(object, row), elements));
        AclCommand command;
        std::string error;
        ASSERT_TRUE(ParseAclArguments(elements, command, error)) << error;
        std::vector<std::vector<AceView>> lists;
        for (const bool sacl : {false, true}) {
            SeedList seed;
            ASSERT_TRUE(MakeSeedList(object, sacl, seed));
            // The engine writes only the lists the command touches.
            const bool touched = std::any_of(command.entries.begin(), command.entries.end(),
                                             [&](const AclEntryRequest& e) { return sacl ? e.inSacl : e.inDacl; });
            std::vector<BYTE> built;
            std::string messages;
            ASSERT_TRUE(BuildAclList(command, sacl, object.isFolder, seed.list, built, &messages)) << messages;
            lists.push_back(touched ? AcesOf(reinterpret_cast<PACL>(built.data())) : AcesOf(seed.list));
        }
        ExpectLists(object, row, lists[0], &lists[1]);
    }
}

// Skips, with the platform's reason, when the object's lists are not kept.
#define SKIP_UNLESS_KEPT(object, audit)                        \
    do {                                                       \
        const std::string reason = SeedLists(object, audit);   \
        if (!reason.empty()) GTEST_SKIP() << reason;           \
    } while (0)

class AclWords : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        MakeDirs(folder_);
        WriteFileBytes(file_, "scratch");
    }
    void TearDown() override {
        UnlockKey(HKEY_CURRENT_USER, kKeyPath);
        RegDeleteTreeA(HKEY_CURRENT_USER, kKeyPath);
        for (const std::string& path : {folder_, file_}) {
            Scratch unlocked = FileScratch(path, path == folder_);
            unlocked.daclSeed = "D:(A;OICI;FA;;;WD)";
            WriteList(unlocked, false);
        }
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    static constexpr const char* kKeyPath = "Software\\TarnwickAclWords";
    const std::string folder_ = TempDir() + "TarnwickAclWords";
    const std::string file_ = folder_ + "\\scratch.txt";
};

std::string Ace(const std::string& rest) { return std::string("n:") + kPowerUsers + ";s:y;" + rest; }

std::vector<Row> KeyModeRows(const Scratch& key) {
    const std::vector<AceView> others = Without(key.dacl, kPowerUsers);
    return {
        // set, the mode when none is given, replaces what the trustee had.
        {Ace("p:read"), With(others, {{"A", kCI, KEY_READ, kPowerUsers}}), {}},
        {Ace("p:full;m:set"), With(others, {{"A", kCI, KEY_ALL_ACCESS, kPowerUsers}}), {}},
        {Ace("p:full;m:SET;w:dacl"), With(others, {{"A", kCI, KEY_ALL_ACCESS, kPowerUsers}}), {}},
        // grant and deny add to it.
        {Ace("p:full;m:grant"), With(key.dacl, {{"A", kCI, KEY_ALL_ACCESS, kPowerUsers}}), {}},
        {Ace("p:read;m:deny"), With(key.dacl, {{"D", kCI, KEY_READ, kPowerUsers}}), {}},
        // revoke takes away what it allowed, with or without a permission named.
        {Ace("m:revoke"), others, {}},
        {Ace("p:read;m:revoke"), others, {}},
        {Ace("m:revoke;w:dacl"), others, {}},
        // A trustee named rather than given as a SID.
        {"n:Everyone;p:full;m:set", With(Without(key.dacl, kEveryone), {{"A", kCI, KEY_ALL_ACCESS, kEveryone}}), {}},
    };
}

std::vector<Row> KeyInheritanceRows(const Scratch& key) {
    const std::vector<AceView> others = Without(key.dacl, kPowerUsers);
    std::vector<Row> rows;
    for (const auto& [words, flags] : std::vector<std::pair<std::string, unsigned>>{
             {"so", kOI},
             {"sc", kCI},
             {"so,sc", kOI | kCI},
             {"sc,np", kCI | kNP},
             {"sc,io", kCI | kIO},
             {"so,np", kOI | kNP},
             {"so,io", kOI | kIO},
             {"SO,SC,NP,IO", kOI | kCI | kNP | kIO},
         }) {
        rows.push_back({Ace("p:full;i:" + words), With(others, {{"A", flags, KEY_ALL_ACCESS, kPowerUsers}}), {}});
    }
    return rows;
}

std::vector<Row> KeyPermissionRows(const Scratch& key) {
    const std::vector<AceView> others = Without(key.dacl, kPowerUsers);
    return {
        {Ace("p:read"), With(others, {{"A", kCI, KEY_READ, kPowerUsers}}), {}},
        {Ace("p:full"), With(others, {{"A", kCI, KEY_ALL_ACCESS, kPowerUsers}}), {}},
        {Ace("p:read,full"), With(others, {{"A", kCI, KEY_ALL_ACCESS, kPowerUsers}}), {}},
    };
}

std::vector<Row> KeyAuditRows(const Scratch& key) {
    const std::vector<AceView> othersAudited = Without(key.sacl, kPowerUsers);
    return {
        // Audit modes add to what the trustee is audited for.
        {Ace("p:full;m:aud_succ"), key.dacl, With(key.sacl, {{"U", kCI | kSuccess, KEY_ALL_ACCESS, kPowerUsers}})},
        {Ace("p:read;m:aud_fail;w:sacl"), key.dacl, With(key.sacl, {{"U", kCI | kFailure, KEY_READ, kPowerUsers}})},
        {Ace("m:revoke;w:sacl"), key.dacl, othersAudited},
        {Ace("m:revoke;w:dacl,sacl"), Without(key.dacl, kPowerUsers), othersAudited},
    };
}

// The file permission words: a folder's entry reaches what is below it
// unless told otherwise, a file's entry reaches nothing.
std::vector<Row> FilePermissionRows(const Scratch& object) {
    const std::vector<AceView> others = Without(object.dacl, kPowerUsers);
    const unsigned flags = object.isFolder ? kOI | kCI : 0u;
    std::vector<Row> rows;
    for (const auto& [word, mask] : std::vector<std::pair<std::string, DWORD>>{
             {"read", kFileRead},
             {"write", kFileWrite},
             {"list_folder", kFileReadExecute},
             {"read_ex", kFileReadExecute},
             {"change", kFileModify},
             {"profile", kFileModifyAndPermissions},
             {"full", kFileFull},
             {"read,write", kFileRead | kFileWrite},
         }) {
        rows.push_back({Ace("p:" + word), With(others, {{"A", flags, mask, kPowerUsers}}), {}});
    }
    return rows;
}

std::vector<Row> FolderModeAndInheritanceRows(const Scratch& folder) {
    const std::vector<AceView> others = Without(folder.dacl, kPowerUsers);
    return {
        {Ace("p:change;m:set"), With(others, {{"A", kOI | kCI, kFileModify, kPowerUsers}}), {}},
        {Ace("p:change;m:grant"), With(folder.dacl, {{"A", kOI | kCI, kFileModify, kPowerUsers}}), {}},
        {Ace("p:write;m:deny"), With(folder.dacl, {{"D", kOI | kCI, kFileWrite, kPowerUsers}}), {}},
        {Ace("m:revoke"), others, {}},
        {Ace("p:full;i:so"), With(others, {{"A", kOI, kFileFull, kPowerUsers}}), {}},
        {Ace("p:full;i:sc"), With(others, {{"A", kCI, kFileFull, kPowerUsers}}), {}},
        {Ace("p:full;i:so,sc,np"), With(others, {{"A", kOI | kCI | kNP, kFileFull, kPowerUsers}}), {}},
        {Ace("p:full;i:so,sc,io"), With(others, {{"A", kOI | kCI | kIO, kFileFull, kPowerUsers}}), {}},
    };
}

std::vector<Row> FileAuditRows(const Scratch& file) {
    const std::vector<AceView> othersAudited = Without(file.sacl, kPowerUsers);
    return {
        {Ace("p:change;m:aud_succ"), file.dacl, With(file.sacl, {{"U", kSuccess, kFileModify, kPowerUsers}})},
        {Ace("p:read;m:aud_fail"), file.dacl, With(file.sacl, {{"U", kFailure, kFileRead, kPowerUsers}})},
        {Ace("m:revoke;w:sacl"), file.dacl, othersAudited},
    };
}

// Every row is checked twice: in the lists the engine builds, which any
// platform can check, and on the object, where the platform keeps them.
TEST_F(AclWords, EveryAccessModeOnAKey) {
    const Scratch key = KeyScratch();
    CheckInTheBuiltLists(key, KeyModeRows(key));
    CheckOnTheObject(key, KeyModeRows(key), false);
}

TEST_F(AclWords, EveryInheritanceFlagOnAKey) {
    const Scratch key = KeyScratch();
    CheckInTheBuiltLists(key, KeyInheritanceRows(key));
    CheckOnTheObject(key, KeyInheritanceRows(key), false);
}

TEST_F(AclWords, EveryPermissionWordOnAKey) {
    const Scratch key = KeyScratch();
    CheckInTheBuiltLists(key, KeyPermissionRows(key));
    CheckOnTheObject(key, KeyPermissionRows(key), false);
}

TEST_F(AclWords, EveryAuditModeInTheListsBuiltForAKey) {
    const Scratch key = KeyScratch();
    CheckInTheBuiltLists(key, KeyAuditRows(key));
}

TEST_F(AclWords, EveryAuditModeOnAKey) {
    const Scratch key = KeyScratch();
    SKIP_UNLESS_KEPT(key, true);
    CheckOnTheObject(key, KeyAuditRows(key), true);
}

TEST_F(AclWords, EveryFileWordInTheListsBuiltForAFolderAndAFile) {
    const Scratch folder = FileScratch(folder_, true), file = FileScratch(file_, false);
    CheckInTheBuiltLists(folder, FilePermissionRows(folder));
    CheckInTheBuiltLists(folder, FolderModeAndInheritanceRows(folder));
    CheckInTheBuiltLists(file, FilePermissionRows(file));
    CheckInTheBuiltLists(file, FileAuditRows(file));
}

TEST_F(AclWords, EveryPermissionWordOnAFolderAndAFile) {
    for (const Scratch& object : {FileScratch(folder_, true), FileScratch(file_, false)}) {
        SKIP_UNLESS_KEPT(object, false);
        CheckOnTheObject(object, FilePermissionRows(object), false);
    }
}

TEST_F(AclWords, EveryAccessModeAndInheritanceFlagOnAFolder) {
    const Scratch folder = FileScratch(folder_, true);
    SKIP_UNLESS_KEPT(folder, false);
    CheckOnTheObject(folder, FolderModeAndInheritanceRows(folder), false);
}

TEST_F(AclWords, EveryAuditModeOnAFile) {
    const Scratch file = FileScratch(file_, false);
    SKIP_UNLESS_KEPT(file, true);
    CheckOnTheObject(file, FileAuditRows(file), true);
}

// Flags that shape inheritance without saying where it goes would write an
// entry that applies to nothing at all; such an entry is refused unwritten.
TEST_F(AclWords, InheritanceLimitsWithoutADirectionAreRefused) {
    const Scratch key = KeyScratch();
    for (const std::string words : {"np", "io", "np,io"}) {
        SCOPED_TRACE(words);
        ASSERT_EQ(SeedLists(key, false), "");
        std::string messages;
        EXPECT_EQ(RunAclCommand(CommandFor(key, {Ace("p:full;i:" + words), {}, {}}), &messages), kAclBadCommand);
        EXPECT_NE(messages.find("so or sc"), std::string::npos) << messages;
        EXPECT_EQ(Sorted(ReadList(key, false).aces), Sorted(key.dacl));
    }
}

}  // namespace
