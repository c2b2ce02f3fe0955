// The registry primitives against Wine's real registry.
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <string>

#include "common/handles.h"
#include "tests/support/harness.h"

namespace {

const std::string kScratch = "Software\\TarnwickTest";

void SetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    UniqueKey opened;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.receive(), nullptr),
              ERROR_SUCCESS);
    // A byte that is not zero after the data: RegSetValueExA would otherwise
    // add a missing string terminator by itself.
    const std::string guarded = bytes + "X";
    ASSERT_EQ(RegSetValueExA(opened.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(guarded.data()),
                             DWORD(bytes.size())),
              ERROR_SUCCESS);
}

class RegistryAccess : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScratch.c_str());
    }
};

TEST_F(RegistryAccess, ReadsStringsOfBothTextTypesAsStored) {
    SetRaw(HKEY_CURRENT_USER, kScratch, "", REG_SZ, std::string("default", 8));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Icon", REG_EXPAND_SZ, std::string("%SystemRoot%\\a.ico", 19));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Empty", REG_SZ, "");
    SetRaw(HKEY_CURRENT_USER, kScratch, "Twice", REG_SZ, std::string("one\0two\0", 8));
    std::string out = "untouched";
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "default");
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Icon", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "%SystemRoot%\\a.ico");
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Empty", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Twice", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "one");
}

TEST_F(RegistryAccess, StringReadsThatFailLeaveTheOutputAlone) {
    SetRaw(HKEY_CURRENT_USER, kScratch, "NoTerminator", REG_SZ, "abc");
    SetRaw(HKEY_CURRENT_USER, kScratch, "Number", REG_DWORD, std::string("\x01\0\0\0", 4));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Big", REG_SZ, std::string(4096, 'x') + '\0');
    SetRaw(HKEY_CURRENT_USER, kScratch, "Fits", REG_SZ, std::string(4095, 'y') + '\0');
    std::string out = "untouched";
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "NoTerminator", out), DWORD(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Number", out), DWORD(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Multi", out), DWORD(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Big", out), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Missing", out), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch + "\\Missing", "", out), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch, "Fits", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, std::string(4095, 'y'));
}

TEST_F(RegistryAccess, ReadsDwordsOfExactlyFourBytes) {
    SetRaw(HKEY_CURRENT_USER, kScratch, "Level", REG_DWORD, std::string("\xff\xff\xff\xff", 4));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Text", REG_SZ, std::string("12345", 6));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Short", REG_SZ, std::string("1", 2));
    SetRaw(HKEY_CURRENT_USER, kScratch, "Half", REG_DWORD, std::string("\x01\x02", 2));
    std::uint32_t out = 7;
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch, "Level", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, 4294967295u);
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch, "Text", out), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch, "Short", out), DWORD(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch, "Half", out), DWORD(ERROR_INVALID_DATA));
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch, "Missing", out), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryAccess, WritesCreateKeysOnlyWhenAsked) {
    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, kScratch + "\\A", "v", "x", false), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch));

    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, kScratch + "\\A\\B\\C", "v", "text", true), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kScratch + "\\A\\B"));
    std::string out;
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch + "\\A\\B\\C", "v", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "text");
    DWORD type = 0, size = 0;
    RegGetValueA(HKEY_CURRENT_USER, (kScratch + "\\A\\B\\C").c_str(), "v", RRF_RT_ANY, &type, nullptr, &size);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 5u);  // the terminator is stored

    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, kScratch + "\\A", "", "", false), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratch + "\\A", "", out), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(out, "");

    EXPECT_EQ(WriteRegDword(HKEY_CURRENT_USER, kScratch + "\\D\\E", "Level", 3), DWORD(ERROR_SUCCESS));
    std::uint32_t level = 0;
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kScratch + "\\D\\E", "Level", level), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(level, 3u);
}

TEST_F(RegistryAccess, DeleteKeyTreeRemovesNestedKeys) {
    SetRaw(HKEY_CURRENT_USER, kScratch + "\\T\\a\\b\\c", "v", REG_SZ, std::string("1", 2));
    SetRaw(HKEY_CURRENT_USER, kScratch + "\\T\\a\\d", "v", REG_SZ, std::string("1", 2));
    SetRaw(HKEY_CURRENT_USER, kScratch + "\\T", "v", REG_SZ, std::string("1", 2));
    SetRaw(HKEY_CURRENT_USER, kScratch + "\\Keep", "v", REG_SZ, std::string("1", 2));
    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kScratch + "\\T"), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch + "\\T"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kScratch + "\\Keep"));
    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kScratch + "\\T"), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryAccess, DeleteClassesTreeWorksBelowTheClassesRoot) {
    SetRaw(HKEY_CLASSES_ROOT, "Access.Application.8\\shell\\open\\ddeexec\\topic", "", REG_SZ, std::string("x", 2));
    EXPECT_EQ(DeleteClassesTree("Access.Application.8\\shell\\open\\ddeexec"), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Access.Application.8\\shell\\open\\ddeexec"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Access.Application.8\\shell\\open"));
    EXPECT_EQ(DeleteClassesTree("Access.Application.8\\shell\\open\\ddeexec"), DWORD(ERROR_FILE_NOT_FOUND));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Access.Application.8");
}

TEST_F(RegistryAccess, FirstMachineValue) {
    BYTE data[1024];
    DWORD type = 0, size = sizeof data;
    std::string name = "untouched";
    EXPECT_EQ(ReadFirstMachineValue(kScratch, name, type, data, size), DWORD(ERROR_FILE_NOT_FOUND));
    SetRaw(HKEY_LOCAL_MACHINE, kScratch + "\\Empty", "", REG_SZ, std::string("x", 2));
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, (kScratch + "\\Empty").c_str(), "");
    size = sizeof data;
    EXPECT_EQ(ReadFirstMachineValue(kScratch + "\\Empty", name, type, data, size), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(name, "untouched");

    SetRaw(HKEY_LOCAL_MACHINE, kScratch + "\\One", "PackedCode", REG_SZ, std::string("C?\\Office\\MSACCESS.EXE", 23));
    size = sizeof data;
    EXPECT_EQ(ReadFirstMachineValue(kScratch + "\\One", name, type, data, size), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(name, "PackedCode");
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 23u);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "C?\\Office\\MSACCESS.EXE");
}

TEST(RegistryNotation, RootNamesAndPrefixes) {
    EXPECT_EQ(RootKeyName(HKEY_CLASSES_ROOT), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(RootKeyName(HKEY_CURRENT_USER), "HKEY_CURRENT_USER");
    EXPECT_EQ(RootKeyName(HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(RootKeyName(HKEY_USERS), "HKEY_USERS");
    EXPECT_EQ(RootKeyName(HKEY_CURRENT_CONFIG), "");
    EXPECT_EQ(RootKeyName(reinterpret_cast<HKEY>(0x1234)), "");

    auto [root, path] = SplitRootPrefix("HKCU\\Software\\Orders");
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_EQ(path, "Software\\Orders");
    std::tie(root, path) = SplitRootPrefix("HKLM\\Software\\Orders");
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(path, "Software\\Orders");
    std::tie(root, path) = SplitRootPrefix("hkcu\\Software\\Orders");
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(path, "hkcu\\Software\\Orders");
    std::tie(root, path) = SplitRootPrefix("HKCU");
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(path, "HKCU");
}

}  // namespace
