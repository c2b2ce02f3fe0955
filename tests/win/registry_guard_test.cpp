// The launch journal against Wine's real files and registry, and the turns
// that launches take with the registry, with short waits and threads in
// place of launcher processes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "launcher/registry_lock.h"
#include "registry/journal.h"
#include "registry/key_list.h"

namespace {

constexpr const char* kCurVer = "Access.Application\\CurVer";
constexpr const char* kSecurity2003 = "Software\\Microsoft\\Office\\11.0\\Access\\Security";
constexpr const char* kLanguages2007 = "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources";
constexpr const char* kScratch = "Software\\TarnwickJournalTest";
constexpr DWORD kShortLockWaitMs = 200;
constexpr DWORD kLongLockWaitMs = 60000;
// Time enough for another thread to have gone past a point it should not pass.
constexpr DWORD kSettleMs = 600;
constexpr DWORD kPromptMs = 5000;

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

// Waits up to the time for the flag; whether it came.
bool Within(DWORD ms, const std::atomic<bool>& flag) {
    for (DWORD waited = 0; !flag && waited < ms; waited += 10) Sleep(10);
    return flag;
}

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
        DeleteFileA((path + ".new").c_str());
        RemoveDirectoryA((path + ".new").c_str());
    }
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
    EXPECT_FALSE(Exists(path + ".new")) << "the new file is renamed into place";
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

    ASSERT_TRUE(CreateDirectoryA((path + ".new").c_str(), nullptr));  // the new file cannot be created
    EXPECT_FALSE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.12")}, path));
    EXPECT_EQ(FileBytes(path), first);
    RemoveDirectoryA((path + ".new").c_str());

    ASSERT_TRUE(WriteJournal({Entry(RegRoot::ClassesRoot, kCurVer, "", "Access.Application.12")}, path));
    EXPECT_NE(FileBytes(path), first) << "a whole journal replaces the one before";
    ASSERT_TRUE(PutBackJournal(path));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kCurVer, ""), "Access.Application.12");

    const std::string nowhere = "C:\\Nowhere\\At\\All\\journal.dat";
    EXPECT_FALSE(WriteJournal({MacroSecurityLevelEntry(2)}, nowhere));
    EXPECT_FALSE(Exists(nowhere));
}

TEST(JournalFile, LiesBesideTheSnapshotFileUnderItsOwnName) {
    const std::string journal = JournalFilePath(), snapshot = SnapshotFilePath();
    ASSERT_GT(journal.size(), 14u);
    EXPECT_EQ(journal.substr(journal.size() - 14), "~ZQJournal.dat");
    EXPECT_EQ(journal.substr(0, journal.size() - 14), snapshot.substr(0, snapshot.size() - 10));
}

// Every launch below runs on a thread of its own: the named mutexes belong
// to the thread that takes them, as they belong to a launcher's worker.
TEST(RegistryTurns, ALoneLaunchHoldsTheLockAndFindsNoOtherLaunch) {
    bool held = false, noOther = false;
    std::thread([&] {
        RegistryLock lock(kShortLockWaitMs);
        held = lock.Held();
        noOther = lock.NoOtherLaunchRunning();
    }).join();
    EXPECT_TRUE(held);
    EXPECT_TRUE(noOther);
}

TEST(RegistryTurns, LaunchAfterAWaitIsNotToldThatNoOtherLaunchRuns) {
    std::atomic<bool> firstHeld = false;
    bool secondHeld = false, secondNoOther = true;
    std::thread first([&] {
        RegistryLock lock(kShortLockWaitMs);
        firstHeld = lock.Held();
        Sleep(kSettleMs);
    });
    ASSERT_TRUE(Within(kPromptMs, firstHeld));
    std::thread second([&] {
        RegistryLock lock(kLongLockWaitMs);
        secondHeld = lock.Held();
        secondNoOther = lock.NoOtherLaunchRunning();
    });
    first.join();
    second.join();
    EXPECT_TRUE(secondHeld);
    EXPECT_FALSE(secondNoOther) << "the first launch ended as it should: no journal of it can be left";
}

TEST(RegistryTurns, LockOfALaunchThatDiedFindsNoOtherLaunch) {
    RegistryLock* dead = nullptr;
    std::thread([&] { dead = new RegistryLock(kShortLockWaitMs); }).join();  // ends without giving it back
    bool held = false, noOther = false;
    std::thread([&] {
        RegistryLock lock(kShortLockWaitMs);
        held = lock.Held();
        noOther = lock.NoOtherLaunchRunning();
    }).join();
    delete dead;
    EXPECT_TRUE(held);
    EXPECT_TRUE(noOther);
}

// The holder is slow: the second launch gives up after its wait, prepares
// only after the holder's capture, and the holder restores only once the
// second launch's Access has been started.
TEST(RegistryTurns, LaunchWithoutTheLockPreparesBetweenTheHoldersCaptureAndRestore) {
    std::atomic<bool> holding = false, saveNow = false, restoreNow = false, restored = false;
    std::atomic<bool> secondReady = false, startNow = false, secondStarted = false;
    bool holderHeld = false, secondHeld = true, startedBeforeRestore = false;
    std::thread holder([&] {
        RegistryLock lock(kShortLockWaitMs);
        holderHeld = lock.Held();
        holding = true;
        Within(kLongLockWaitMs, saveNow);
        lock.Saved();
        Within(kLongLockWaitMs, restoreNow);
        lock.TakeTurnToRestore();
        startedBeforeRestore = secondStarted;
        restored = true;
        lock.Release();
    });
    ASSERT_TRUE(Within(kPromptMs, holding));
    std::thread second([&] {
        RegistryLock lock(kShortLockWaitMs);
        secondHeld = lock.Held();
        secondReady = true;
        Within(kLongLockWaitMs, startNow);
        secondStarted = true;
        lock.Started();
    });
    Sleep(kShortLockWaitMs + kSettleMs);
    EXPECT_FALSE(secondReady) << "the second launch prepared before the holder had saved";
    saveNow = true;
    EXPECT_TRUE(Within(kPromptMs, secondReady));
    restoreNow = true;
    Sleep(kSettleMs);
    EXPECT_FALSE(restored) << "the holder restored before the second Access was started";
    startNow = true;
    holder.join();
    second.join();
    EXPECT_TRUE(holderHeld);
    EXPECT_FALSE(secondHeld);
    EXPECT_TRUE(startedBeforeRestore);
}

// The holder restores and goes while a launch that gave up waits for its
// turn, and a third launch takes the lock: the launch without the lock must
// not prepare before the new holder has saved, or its preparation would be
// saved as the machine's values.
TEST(RegistryTurns, LaunchWithoutTheLockWaitsForANewHoldersCapture) {
    std::atomic<bool> holding = false, newHolderWaiting = false, newHolderSaved = false, secondReady = false;
    bool secondHeld = true, savedBeforeSecondPrepared = false;
    std::thread holder([&] {
        RegistryLock lock(kShortLockWaitMs);
        holding = true;
        Sleep(kShortLockWaitMs + kSettleMs);  // the second launch has given up and waits for its turn
        lock.TakeTurnToRestore();
        lock.Release();
    });
    ASSERT_TRUE(Within(kPromptMs, holding));
    std::thread second([&] {
        RegistryLock lock(kShortLockWaitMs);
        savedBeforeSecondPrepared = newHolderSaved;
        secondHeld = lock.Held();
        secondReady = true;
        lock.Started();
    });
    Sleep(kShortLockWaitMs + kSettleMs / 2);
    std::thread newHolder([&] {
        newHolderWaiting = true;
        RegistryLock lock(kLongLockWaitMs);
        Sleep(kSettleMs);
        newHolderSaved = true;
        lock.Saved();
        Within(kLongLockWaitMs, secondReady);
        lock.TakeTurnToRestore();
    });
    holder.join();
    second.join();
    newHolder.join();
    EXPECT_FALSE(secondHeld);
    EXPECT_TRUE(savedBeforeSecondPrepared) << "the second launch prepared before the new holder had saved";
}

TEST(RegistryTurns, HolderWaitingWithoutLimitLetsAWaitingLaunchGoOnAtOnce) {
    std::atomic<bool> saved = false, secondDone = false, holderDone = false;
    bool secondHeld = true;
    DWORD secondWaitedMs = 0;
    std::thread holder([&] {
        RegistryLock lock(kShortLockWaitMs);
        lock.Saved();
        saved = true;
        Sleep(kSettleMs);  // the second launch is waiting by now
        lock.WaitingWithoutLimit(true);
        Within(kLongLockWaitMs, secondDone);
        lock.WaitingWithoutLimit(false);
        lock.TakeTurnToRestore();
        holderDone = true;
    });
    ASSERT_TRUE(Within(kPromptMs, saved));
    std::thread second([&] {
        const DWORD start = GetTickCount();
        RegistryLock lock(kLongLockWaitMs);
        secondWaitedMs = GetTickCount() - start;
        secondHeld = lock.Held();
        secondDone = true;
        lock.Started();
    });
    second.join();
    holder.join();
    EXPECT_FALSE(secondHeld);
    EXPECT_LT(secondWaitedMs, kPromptMs) << "of a wait of " << kLongLockWaitMs << " ms";
    EXPECT_TRUE(holderDone);
}

// A launch that gave up on the lock while the holder restored and went finds
// the lock free once it has its turn: it saves after all.
TEST(RegistryTurns, LaunchThatGaveUpTakesTheLockWhenTheHolderHasGone) {
    std::atomic<bool> holding = false;
    bool secondHeld = false;
    std::thread holder([&] {
        RegistryLock lock(kShortLockWaitMs);
        holding = true;
        Sleep(kShortLockWaitMs + kSettleMs);  // has not saved: the second launch may not prepare yet
    });
    ASSERT_TRUE(Within(kPromptMs, holding));
    std::thread second([&] {
        RegistryLock lock(kShortLockWaitMs);
        secondHeld = lock.Held();
    });
    holder.join();
    second.join();
    EXPECT_TRUE(secondHeld);
}

}  // namespace
