// The launch journals against Wine's real files and registry, and the named
// slots through which launches see each other, with threads in place of
// launcher processes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include "launcher/shared_preparation.h"
#include "registry/journal.h"
#include "registry/key_list.h"

namespace {

constexpr const char* kCurVer = "Access.Application\\CurVer";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";
constexpr const char* kLanguages2007 = "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources";
constexpr const char* kScratch = "Software\\TarnwickJournalTest";

std::string ReadText(HKEY root, const char* key, const char* name) {
    char data[512] = {};
    DWORD size = sizeof data - 1, type = 0;
    if (RegGetValueA(root, key, name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) return "missing";
    if (type == REG_DWORD) return "dword:" + std::to_string(*reinterpret_cast<DWORD*>(data));
    return data;
}

void WriteText(HKEY root, const char* key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetKeyValueA(root, key, name, REG_SZ, text.c_str(), DWORD(text.size() + 1)), ERROR_SUCCESS);
}

void WriteDword(HKEY root, const char* key, const char* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueA(root, key, name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}

RegistryEntry Entry(RegRoot root, const std::string& key, const std::string& name, const std::string& text) {
    RegistryEntry entry;
    entry.root = root;
    entry.keyPath = key;
    entry.valueName = name;
    entry.present = 1;
    entry.valueType = kTypeString;
    entry.stringData = text;
    return entry;
}

RegistryEntry DwordEntry(RegRoot root, const std::string& key, const std::string& name, std::uint32_t value) {
    RegistryEntry entry = Entry(root, key, name, "");
    entry.valueType = kTypeDword;
    entry.dwordData = value;
    return entry;
}

std::string FileBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
        fclose(f);
    }
    return bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Journal : public ::testing::Test {
protected:
    void SetUp() override {
        // The keys written here are the catalogue's own; a prefix that has them
        // would lose their values.
        for (auto [root, key] : {std::pair{HKEY_CLASSES_ROOT, "Access.Application"},
                                 std::pair{HKEY_CURRENT_USER, "Software\\Microsoft\\Office"}}) {
            HKEY opened;
            if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
                RegCloseKey(opened);
                GTEST_SKIP() << key << " exists in this prefix";
            }
        }
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "journal-unit-test.dat";
        Clean();
    }
    void TearDown() override {
        if (path.empty()) return;
        Clean();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Access.Application");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    }
    void Clean() {
        DeleteFileA(path.c_str());
        DeleteFileA(Fresh().c_str());
        RemoveDirectoryA(Fresh().c_str());
    }
    // The new file a journal is written to before it takes the journal's place.
    std::string Fresh() const { return path + "." + std::to_string(GetCurrentProcessId()) + ".new"; }
    std::string path;
};

TEST_F(Journal, PutsBackTheCatalogueLanguageAndMacroLevelValuesItNames) {
    const std::vector<RegistryEntry> saved = {
        Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.9"),
        DwordEntry(RegRoot::CurrentUser, kLanguages2007, "UILanguage", 1031),
        MacroSecurityLevelEntry(3),
        Entry(RegRoot::CurrentUser, kScratch, "NotWatched", "from the journal"),
    };
    ASSERT_TRUE(WriteJournal(saved, path));
    EXPECT_TRUE(Exists(path));
    EXPECT_FALSE(Exists(Fresh())) << "the new file is renamed into place";
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    WriteText(HKEY_CLASSES_ROOT, kCurVer, "", "Access.Application.11");
    WriteDword(HKEY_CURRENT_USER, kLanguages2007, "UILanguage", 1033);
    WriteDword(HKEY_CURRENT_USER, kSecurity2003, "Level", 1);
    WriteText(HKEY_CURRENT_USER, kLanguages2007, "FollowSystemUI", "Off");  // not in the journal
    ASSERT_TRUE(PutBackJournal(path));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kCurVer, ""), "Access.Application.9");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kLanguages2007, "UILanguage"), "dword:1031");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSecurity2003, "Level"), "dword:3");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kLanguages2007, "FollowSystemUI"), "Off");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kScratch, "NotWatched"), "missing") << "only watched values go back";

    EXPECT_TRUE(Exists(path)) << "putting back leaves the file to its owner";
    DeleteJournal(path);
    EXPECT_FALSE(Exists(path));
}

TEST_F(Journal, WithoutAJournalNothingIsWritten) {
    EXPECT_FALSE(PutBackJournal(path));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kCurVer, ""), "missing");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSecurity2003, "Level"), "missing");
}

TEST_F(Journal, AJournalThatCannotBeWrittenWholeLeavesTheOneBefore) {
    ASSERT_TRUE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.9")}, path));
    const std::string first = FileBytes(path);
    ASSERT_FALSE(first.empty());

    ASSERT_TRUE(CreateDirectoryA(Fresh().c_str(), nullptr));  // the new file cannot be created
    EXPECT_FALSE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.12")}, path));
    EXPECT_EQ(FileBytes(path), first);
    RemoveDirectoryA(Fresh().c_str());
    EXPECT_FALSE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.12")}, path, false));
    EXPECT_EQ(FileBytes(path), first) << "a journal only where none is yet keeps the one there";

    ASSERT_TRUE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.12")}, path));
    EXPECT_NE(FileBytes(path), first) << "a whole journal replaces the one before";
    ASSERT_TRUE(PutBackJournal(path));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kCurVer, ""), "Access.Application.12");

    const std::string nowhere = "C:\\Nowhere\\At\\All\\journal.dat";
    EXPECT_FALSE(WriteJournal({MacroSecurityLevelEntry(2)}, nowhere));
    EXPECT_FALSE(Exists(nowhere));
}

TEST(JournalFile, TheMachinesAndEachUsersLieInTheCommonApplicationDataFolder) {
    char common[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, FALSE));
    const std::string folder = std::string(common) + "\\Tarnwick\\";
    EXPECT_EQ(MachineJournalPath(), folder + "~ZQJournal.dat");
    EXPECT_EQ(UserJournalPath("S-1-5-21-1-2-3-1001"), folder + "~ZQJournal-S-1-5-21-1-2-3-1001.dat");
}

// Each launch below is a thread of its own: the named mutexes belong to the
// thread that takes them, as they belong to a launcher's worker.
TEST(LaunchSlots, ALaunchSeesTheOthersThatHoldASlotAndNotThoseThatEnded) {
    const std::string prefix = "Global\\TarnwickTestSlots" + std::to_string(GetCurrentProcessId()) + ".";
    SharedObjectSecurity security;
    ASSERT_NE(security.get(), nullptr);
    LaunchSlots looker;
    ASSERT_TRUE(looker.Open(prefix, security.get())) << looker.OpenError();
    EXPECT_EQ(looker.OthersHolding(), 0);

    // Two launches take a slot each; the first ends without letting go
    // (ended by force: its mutex is abandoned), the second keeps it.
    std::atomic<int> taken{0};
    std::atomic<bool> endSecond{false};
    int ownSlots[2] = {-1, -1};
    std::thread first([&] {
        LaunchSlots slots;
        if (slots.Open(prefix, security.get()) && slots.Take()) ownSlots[0] = slots.Own();
        ++taken;
    });
    first.join();
    std::thread second([&] {
        LaunchSlots slots;
        if (slots.Open(prefix, security.get()) && slots.Take()) ownSlots[1] = slots.Own();
        ++taken;
        while (!endSecond) Sleep(10);
        slots.Release();
    });
    while (taken < 2) Sleep(10);
    EXPECT_EQ(ownSlots[0], 0);
    EXPECT_EQ(ownSlots[1], 0) << "the slot of a launch that ended is free again";
    EXPECT_EQ(looker.OthersHolding(), 1);
    ASSERT_TRUE(looker.Take());
    EXPECT_EQ(looker.Own(), 1);
    EXPECT_EQ(looker.OthersHolding(), 1) << "its own slot is not another launch's";
    endSecond = true;
    second.join();
    EXPECT_EQ(looker.OthersHolding(), 0);
    looker.Release();
}

// A set is opened only as far as it is used; a name that another program
// created first, letting nobody in, is a slot no launch can hold: a look
// does not count it, and a take that reaches it fails and names the error.
TEST(LaunchSlots, ASlotNoLaunchCanOpenIsNotCountedAndStopsATakeWithItsError) {
    const std::string prefix = "Global\\TarnwickTestSquat" + std::to_string(GetCurrentProcessId()) + ".";
    UniqueLocal<PSECURITY_DESCRIPTOR> nobody;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, nobody.receive(), nullptr));
    SECURITY_ATTRIBUTES squatting = {sizeof squatting, nobody.get(), FALSE};
    const UniqueHandle squatted(CreateMutexA(&squatting, FALSE, (prefix + "1").c_str()));
    ASSERT_TRUE(squatted);
    SharedObjectSecurity security;

    LaunchSlots first, second;
    ASSERT_TRUE(first.Open(prefix, security.get(), false)) << "naming the set opens nothing yet";
    ASSERT_TRUE(first.Take());
    EXPECT_EQ(first.Own(), 0);
    EXPECT_EQ(first.OpenError(), DWORD(0)) << "the take needed the first slot only";
    std::thread other([&] {
        second.Open(prefix, security.get(), false);
        EXPECT_FALSE(second.Take()) << "slot 0 is held and slot 1 cannot be opened";
        EXPECT_EQ(second.OpenError(), DWORD(ERROR_ACCESS_DENIED));
    });
    other.join();
    EXPECT_EQ(first.OthersHolding(), 0);
    EXPECT_EQ(first.OpenError(), DWORD(ERROR_ACCESS_DENIED)) << "the look reached the squatted slot";
    LaunchSlots whole;
    EXPECT_FALSE(whole.Open(prefix, security.get()));
    EXPECT_EQ(whole.OpenError(), DWORD(ERROR_ACCESS_DENIED));
    first.Release();
}

// A take opens every slot before its own: a slot that a look creates, which
// no process had open, ends the look, and a mutex held beyond it by a
// program that is no launch is not counted. Past it, the set stays unopened.
TEST(LaunchSlots, ALookEndsAtTheFirstSlotNoProcessHadOpen) {
    const std::string prefix = "Global\\TarnwickTestGap" + std::to_string(GetCurrentProcessId()) + ".";
    SharedObjectSecurity security;
    LaunchSlots looker;
    looker.Open(prefix, security.get(), false);
    std::atomic<int> step{0};
    const auto reach = [&step](int wanted) {
        while (step < wanted) Sleep(10);
    };
    std::thread holder([&] {
        const UniqueHandle beyond(CreateMutexA(security.get(), TRUE, (prefix + "5").c_str()));
        step = 1;
        reach(2);
        LaunchSlots launch;
        launch.Open(prefix, security.get(), false);
        EXPECT_TRUE(launch.Take());
        step = 3;
        reach(4);
        launch.Release();
    });
    reach(1);
    EXPECT_EQ(looker.OthersHolding(), 0) << "slot 0 was no process's";
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, (prefix + "1").c_str()), nullptr) << "the look stopped at slot 0";
    step = 2;
    reach(3);
    EXPECT_EQ(looker.OthersHolding(), 1) << "slot 0, which a launch took, and not slot 5 beyond slot 1";
    step = 4;
    holder.join();
}

TEST(LaunchSlots, AccessIdentityTellsProgramsAndGenerationsApartButNotLetterCase) {
    const std::string office10 = AccessIdentity("C:\\Program Files\\Office10\\MSACCESS.EXE", 2002);
    EXPECT_EQ(office10.size(), 16u);
    EXPECT_EQ(office10, AccessIdentity("c:\\program files\\office10\\msaccess.exe", 2002));
    EXPECT_NE(office10, AccessIdentity("C:\\Program Files\\Office10\\MSACCESS.EXE", 2003));
    EXPECT_NE(office10, AccessIdentity("C:\\Program Files\\Office11\\MSACCESS.EXE", 2002));
}

}  // namespace
