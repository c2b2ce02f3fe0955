// The registry dump and reset every scenario relies on: read as the
// wineserver saves it, they must see exactly what a walk key by key sees
// (both views, values of every shape), and a reset must give back the
// registry as it was saved.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/registry_snapshot.h"

namespace {

using namespace std::string_literals;

constexpr const wchar_t* kScratch = L"Software\\TarnwickSnapshotTest";

std::string Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}
// A string as stored, with its terminator.
std::string Sz(const std::wstring& text) { return Bytes(text + L'\0'); }

struct Seed {
    HKEY root;
    std::wstring key;  // below kScratch
    REGSAM view;
    std::wstring name;
    DWORD type;
    std::string data;
};

// Values of every shape the server's text writes in a form of its own.
std::vector<Seed> Seeds() {
    const std::wstring odd = L"Br]ack[et \"quoted\" \x00e9t\x00e9 \x4e2d";
    std::string longBinary;
    for (int i = 0; i < 300; ++i) longBinary += char(i);
    return {
        {HKEY_CURRENT_USER, L"", 0, L"plain", REG_SZ, Sz(L"text")},
        {HKEY_CURRENT_USER, L"", 0, L"", REG_SZ, Sz(L"default")},
        {HKEY_CURRENT_USER, L"", 0, L"@", REG_SZ, Sz(L"at")},
        {HKEY_CURRENT_USER, odd, 0, odd, REG_SZ, Sz(L"\x00e9" L"abc \\ \" \a\x1b\x01" L"7\t\n")},
        {HKEY_CURRENT_USER, odd, 0, L"embedded nulls", REG_SZ, Sz(L"a\0" L"1\0b"s)},
        {HKEY_CURRENT_USER, odd, 0, L"unterminated", REG_SZ, Bytes(L"abc")},
        {HKEY_CURRENT_USER, odd, 0, L"odd length", REG_SZ, "abc"},
        {HKEY_CURRENT_USER, odd, 0, L"expand", REG_EXPAND_SZ, Sz(L"%TEMP%\\x")},
        {HKEY_CURRENT_USER, odd, 0, L"multi", REG_MULTI_SZ, Sz(L"one\0two\0"s)},
        {HKEY_CURRENT_USER, odd, 0, L"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {HKEY_CURRENT_USER, odd, 0, L"short dword", REG_DWORD, std::string("\x01\x02\x03", 3)},
        {HKEY_CURRENT_USER, odd, 0, L"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {HKEY_CURRENT_USER, odd, 0, L"empty binary", REG_BINARY, ""},
        {HKEY_CURRENT_USER, odd, 0, L"long binary", REG_BINARY, longBinary},
        {HKEY_CURRENT_USER, odd, 0, L"none", REG_NONE, "\x01"},
        {HKEY_CURRENT_USER, odd, 0, L"type 1234", 1234, "xyz"},
        {HKEY_CURRENT_USER, L"Empty\\Below", 0, L"", REG_NONE, ""},
        {HKEY_LOCAL_MACHINE, L"Sub", KEY_WOW64_64KEY, L"64", REG_SZ, Sz(L"64-bit view")},
        {HKEY_LOCAL_MACHINE, L"Sub", KEY_WOW64_32KEY, L"32", REG_SZ, Sz(L"32-bit view")},
    };
}

void Write(const Seed& seed) {
    const std::wstring path = seed.key.empty() ? kScratch : std::wstring(kScratch) + L"\\" + seed.key;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(seed.root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | seed.view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, seed.name.c_str(), 0, seed.type, reinterpret_cast<const BYTE*>(seed.data.data()),
                             DWORD(seed.data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RemoveScratch() {
    for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(root, kScratch, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
                RegDeleteTreeW(key, nullptr);
                RegCloseKey(key);
                RegDeleteKeyExW(root, kScratch, view, 0);
            }
        }
    }
}

// The first lines that differ, in place of two dumps of megabytes.
::testing::AssertionResult SameDump(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    std::istringstream a(expected), b(actual);
    std::string lineA, lineB;
    for (int n = 1;; ++n) {
        const bool moreA = bool(std::getline(a, lineA)), moreB = bool(std::getline(b, lineB));
        if (!moreA && !moreB) break;
        if (lineA != lineB || moreA != moreB) {
            return ::testing::AssertionFailure() << "line " << n << ":\n  expected: " << (moreA ? lineA : "(end)")
                                                 << "\n  actual:   " << (moreB ? lineB : "(end)");
        }
    }
    return ::testing::AssertionFailure() << "the dumps differ";
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class RegistrySnapshot : public ::testing::Test {
protected:
    void SetUp() override { RemoveScratch(); }
    void TearDown() override { RemoveScratch(); }
};

// Lines of the first dump that the second lacks.
std::vector<std::string> Missing(const std::string& from, const std::string& in) {
    std::set<std::string> present;
    std::istringstream lines(in);
    for (std::string line; std::getline(lines, line);) present.insert(line);
    std::vector<std::string> missing;
    std::istringstream other(from);
    for (std::string line; std::getline(other, line);) {
        if (!present.count(line)) missing.push_back(line);
    }
    return missing;
}

// Whether the key of a dump line is volatile: such a key takes no lasting
// subkey (ERROR_CHILD_MUST_BE_VOLATILE).
::testing::AssertionResult VolatileKeyOf(const std::string& line) {
    const size_t close = line.back() == ']' ? line.size() - 1 : line.find("] \"");
    std::string path = line.substr(1, close - 1);
    const std::string machine = "HKEY_LOCAL_MACHINE\\", user = "HKEY_CURRENT_USER\\";
    HKEY root = nullptr;
    if (path.rfind(machine, 0) == 0) root = HKEY_LOCAL_MACHINE, path.erase(0, machine.size());
    if (path.rfind(user, 0) == 0) root = HKEY_CURRENT_USER, path.erase(0, user.size());
    HKEY probe = nullptr;
    const LONG rc = RegCreateKeyExA(root, (path + "\\TarnwickProbe").c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &probe, nullptr);
    if (rc == ERROR_CHILD_MUST_BE_VOLATILE) return ::testing::AssertionSuccess();
    if (rc == ERROR_SUCCESS) {
        RegCloseKey(probe);
        RegDeleteKeyExA(root, (path + "\\TarnwickProbe").c_str(), KEY_WOW64_64KEY, 0);
    }
    return ::testing::AssertionFailure() << "only a walk sees: " << line;
}

TEST_F(RegistrySnapshot, DumpAsTheServerSavesItIsTheWalkKeyByKey) {
    for (const auto& seed : Seeds()) Write(seed);
    const std::string saved = DumpRegistry(), walked = DumpRegistryKeyByKey();
    // The same lines in the same order, but for Wine's volatile keys (font
    // caches, network cards), which the server does not save.
    const auto onlySaved = Missing(saved, walked), onlyWalked = Missing(walked, saved);
    EXPECT_TRUE(onlySaved.empty()) << "only the saved registry has: " << onlySaved.front();
    // A key without values of its own whose subkeys are all volatile is not
    // saved either: its subkeys are among these lines, and checked.
    for (const auto& line : onlyWalked) {
        const bool bareKey = line.back() == ']';
        const std::string below = line.substr(0, line.size() - 1) + "\\";
        const bool savedNothingBelow = bareKey && std::any_of(onlyWalked.begin(), onlyWalked.end(), [&below](const auto& other) {
            return other.rfind(below, 0) == 0;
        });
        if (!savedNothingBelow) { ASSERT_TRUE(VolatileKeyOf(line)); }
    }
    std::string walkedWithoutVolatile;
    std::istringstream lines(walked);
    const std::set<std::string> volatileLines(onlyWalked.begin(), onlyWalked.end());
    for (std::string line; std::getline(lines, line);) {
        if (!volatileLines.count(line)) walkedWithoutVolatile += line + "\n";
    }
    EXPECT_TRUE(SameDump(walkedWithoutVolatile, saved));

    // What the comparison stands on: the values above, both views, and the
    // 32-bit classes reached through Wine's link as a walk reaches them.
    EXPECT_EQ(Count(saved, "[HKEY_CURRENT_USER\\Software\\TarnwickSnapshotTest] \""), 3u);
    EXPECT_EQ(Count(saved, "[HKEY_CURRENT_USER\\Software\\TarnwickSnapshotTest\\Br]ack[et \"quoted\" ?t? ?] \""), 13u);
    EXPECT_EQ(Count(saved, "[HKEY_CURRENT_USER\\Software\\TarnwickSnapshotTest\\Empty\\Below] \"\"=0:\n"), 1u);
    EXPECT_EQ(Count(saved, "[HKEY_LOCAL_MACHINE\\Software\\TarnwickSnapshotTest\\Sub] \"64\"=1:"), 1u);
    EXPECT_EQ(Count(saved, "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\TarnwickSnapshotTest\\Sub] \"32\"=1:"), 1u);
    EXPECT_EQ(Count(saved, "\"short dword\"=4:010203\n"), 1u);
    EXPECT_EQ(Count(saved, "\"odd length\"=1:616263\n"), 1u);
    EXPECT_GT(Count(saved, "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\"), 100u);
}

TEST_F(RegistrySnapshot, ResetGivesBackTheSavedRegistry) {
    const auto seeds = Seeds();
    for (const auto& seed : seeds) Write(seed);
    char file[MAX_PATH + 20] = {};
    GetTempPathA(MAX_PATH, file);
    strcat(file, "reset-test.snap");
    ASSERT_TRUE(SaveRegistrySnapshot(file));
    const std::string before = DumpRegistry();

    // Changed, removed and added values and keys, in both views.
    Write({HKEY_CURRENT_USER, L"", 0, L"plain", REG_SZ, Sz(L"changed")});
    Write({HKEY_CURRENT_USER, L"", 0, L"added", REG_DWORD, std::string(4, '\0')});
    Write({HKEY_CURRENT_USER, L"New\\Deeper", 0, L"v", REG_SZ, "x"});
    Write({HKEY_LOCAL_MACHINE, L"Sub", KEY_WOW64_32KEY, L"32", REG_DWORD, std::string(4, '\1')});
    Write({HKEY_LOCAL_MACHINE, L"Sub\\New", KEY_WOW64_64KEY, L"", REG_SZ, "y"});
    HKEY scratch = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, KEY_ALL_ACCESS, &scratch), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(scratch, L"@"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(scratch, L"Empty"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(scratch, seeds[3].key.c_str()), ERROR_SUCCESS);
    RegCloseKey(scratch);
    ASSERT_FALSE(SameDump(before, DumpRegistry()));

    ASSERT_TRUE(ResetRegistryToSnapshot(file));
    EXPECT_TRUE(SameDump(before, DumpRegistry()));
    DeleteFileA(file);
}

}  // namespace
