// The registry primitives against Wine's real registry.
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "registry/key_list.h"

#include "common/ascii_text.h"
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

// Bytes exactly as stored, through the wide API, with non-zero bytes around
// them so that the API adds no string terminator of its own.
void SetStored(HKEY root, const std::string& key, const wchar_t* name, DWORD type, const std::string& bytes) {
    HKEY opened;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr), 0);
    const std::string guarded = "\x01\x01" + bytes + "\x01\x01";
    ASSERT_EQ(RegSetValueExW(opened, name, 0, type, reinterpret_cast<const BYTE*>(guarded.data() + 2), DWORD(bytes.size())),
              0);
    RegCloseKey(opened);
}

struct Stored {
    LONG rc = 0;
    DWORD type = 0;
    std::string bytes;
    bool operator==(const Stored&) const = default;
};

void PrintTo(const Stored& value, std::ostream* out) {
    *out << "rc " << value.rc << ", type " << value.type << ", bytes";
    char digits[4];
    for (unsigned char b : value.bytes) snprintf(digits, sizeof digits, " %02X", b), *out << digits;
}

Stored GetStored(HKEY root, const std::string& key, const wchar_t* name) {
    Stored out;
    HKEY opened;
    if ((out.rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened)) != ERROR_SUCCESS) return out;
    std::vector<BYTE> data(70000);
    DWORD size = DWORD(data.size());
    out.rc = RegQueryValueExW(opened, name, nullptr, &out.type, data.data(), &size);
    RegCloseKey(opened);
    if (out.rc == ERROR_SUCCESS) out.bytes.assign(reinterpret_cast<const char*>(data.data()), size);
    return out;
}

const std::wstring kGreekAndChinese = L"\u03A9mega \u4E2D";

// Values of every shape a captured value may have: text in scripts the
// ANSI code page lacks, zeros inside strings, strings without terminator or
// of odd length, and the ordinary ones.
struct Shape {
    const wchar_t* name;
    DWORD type;
    std::string bytes;
};
std::vector<Shape> EveryShape() {
    return {
        {L"Greek", REG_SZ, Utf16(kGreekAndChinese + L'\0')},
        {L"Inner zero", REG_SZ, Utf16(std::wstring(L"abc\0def\0", 8))},
        {L"Expand", REG_EXPAND_SZ, Utf16(L"%TEMP%\\" + kGreekAndChinese + L'\0')},
        {L"No bytes", REG_SZ, ""},
        {L"Unterminated", REG_SZ, Utf16(L"abc")},
        {L"Odd", REG_SZ, std::string("abc", 3)},
        {L"One byte", REG_SZ, std::string("a", 1)},
        {L"Multi", REG_MULTI_SZ, Utf16(L"\u03A9" + std::wstring(L"\0b\0\0", 4))},
        {L"Plain", REG_SZ, Utf16(std::wstring(L"Access.Application.10") + L'\0')},
        {L"Long", REG_SZ, Utf16(std::wstring(5000, L'p') + L'\0')},
        {L"Number", REG_DWORD, std::string("\x0c\0\0\0", 4)},
        {L"Short number", REG_DWORD, std::string("\x0c", 1)},
        {L"Binary", REG_BINARY, std::string("\0\x01\xff", 3)},
    };
}

std::string Ansi(const wchar_t* name) { return std::string(name, name + wcslen(name)); }  // ASCII names

// Gives the key the DACL of the SDDL text; whether it could.
bool SetKeyDacl(HKEY root, const std::string& keyPath, const char* sddl) {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    UniqueKey key;
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor.receive(), nullptr) &&
           RegOpenKeyExA(root, keyPath.c_str(), 0, WRITE_DAC, key.receive()) == ERROR_SUCCESS &&
           RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.get()) == ERROR_SUCCESS;
}

class RegistryAccess : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        SetKeyDacl(HKEY_CURRENT_USER, kScratch + "\\Denied", "D:(A;;KA;;;WD)");  // a test's key no one may read
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

TEST_F(RegistryAccess, StoredBytesAreReadAndWrittenExactly) {
    for (const auto& shape : EveryShape()) {
        SCOPED_TRACE(Ansi(shape.name));
        SetStored(HKEY_CURRENT_USER, kScratch, shape.name, shape.type, shape.bytes);
        DWORD type = 0;
        std::string bytes = "untouched";
        EXPECT_EQ(ReadRegStored(HKEY_CURRENT_USER, kScratch, Ansi(shape.name), type, bytes), 0u);
        EXPECT_EQ(type, shape.type);
        EXPECT_EQ(bytes, shape.bytes);
        EXPECT_EQ(WriteRegStored(HKEY_CURRENT_USER, kScratch + "\\Copy", Ansi(shape.name), shape.type, shape.bytes), 0u);
        EXPECT_EQ(GetStored(HKEY_CURRENT_USER, kScratch + "\\Copy", shape.name), (Stored{0, shape.type, shape.bytes}));
    }
    DWORD type = 0;
    std::string bytes = "untouched";
    EXPECT_EQ(ReadRegStored(HKEY_CURRENT_USER, kScratch, "Missing", type, bytes), 2u);
    EXPECT_EQ(ReadRegStored(HKEY_CURRENT_USER, kScratch + "\\Missing", "", type, bytes), 2u);
    EXPECT_EQ(bytes, "untouched");
}

// Capture and restore in memory, as around a launch, and through the
// snapshot file, as the two modes do.
void CaptureChangeAndRestore(int useSnapshotFile) {
    const auto shapes = EveryShape();
    RegistryKeyList captured;
    captured.useSnapshotFile = useSnapshotFile;
    for (const auto& shape : shapes) {
        SetStored(HKEY_CURRENT_USER, kScratch, shape.name, shape.type, shape.bytes);
        AddEntry(captured, kScratch, RegRoot::CurrentUser, Ansi(shape.name));
    }
    CaptureEntries(captured);
    for (const auto& shape : shapes) {
        EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, kScratch, Ansi(shape.name), "changed", false), 0u);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\TarnwickTest", L"Greek");

    RegistryKeyList restored;
    restored.useSnapshotFile = useSnapshotFile;
    for (const auto& shape : shapes) AddEntry(restored, kScratch, RegRoot::CurrentUser, Ansi(shape.name));
    RestoreEntries(useSnapshotFile ? restored : captured);
    for (const auto& shape : shapes) {
        EXPECT_EQ(GetStored(HKEY_CURRENT_USER, kScratch, shape.name), (Stored{0, shape.type, shape.bytes}))
            << Ansi(shape.name);
    }
}

TEST_F(RegistryAccess, CaptureAndRestorePutBackEveryValueByteForByte) { CaptureChangeAndRestore(0); }

TEST_F(RegistryAccess, CaptureAndRestoreThroughTheSnapshotFilePutBackEveryValueByteForByte) {
    CaptureChangeAndRestore(1);
}

TEST_F(RegistryAccess, RestoreWritesOnlyValuesThatDifferFromWhatWasCaptured) {
    const std::string untouched = kScratch + "\\Untouched", changed = kScratch + "\\Changed";
    RegistryKeyList list;
    for (const auto& shape : EveryShape()) {
        SetStored(HKEY_CURRENT_USER, untouched, shape.name, shape.type, shape.bytes);
        AddEntry(list, untouched, RegRoot::CurrentUser, Ansi(shape.name));
    }
    SetStored(HKEY_CURRENT_USER, changed, L"Greek", REG_SZ, Utf16(kGreekAndChinese + L'\0'));
    AddEntry(list, changed, RegRoot::CurrentUser, "Greek");
    SetStored(HKEY_CURRENT_USER, changed, L"Type only", REG_SZ, Utf16(L"x" + std::wstring(1, L'\0')));
    AddEntry(list, changed, RegRoot::CurrentUser, "Type only");
    AddEntry(list, changed, RegRoot::CurrentUser, "Absent");
    CaptureEntries(list);
    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, changed, "Greek", "Omega", false), 0u);
    SetStored(HKEY_CURRENT_USER, changed, L"Type only", REG_EXPAND_SZ, Utf16(L"x" + std::wstring(1, L'\0')));
    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, changed, "Absent", "created after the capture", false), 0u);
    const ULONGLONG before = KeyWriteTime(HKEY_CURRENT_USER, untouched);
    ASSERT_NE(before, 0u);
    Sleep(50);  // a write now would get a later time

    RestoreEntries(list);
    EXPECT_EQ(KeyWriteTime(HKEY_CURRENT_USER, untouched), before) << "a value holding what was captured was written";
    EXPECT_EQ(GetStored(HKEY_CURRENT_USER, changed, L"Greek"), (Stored{0, REG_SZ, Utf16(kGreekAndChinese + L'\0')}));
    EXPECT_EQ(GetStored(HKEY_CURRENT_USER, changed, L"Type only").type, DWORD(REG_SZ));
    EXPECT_EQ(GetStored(HKEY_CURRENT_USER, changed, L"Absent").bytes,
              Utf16(std::wstring(L"created after the capture") + L'\0'));  // absent when captured: left
}

// A capture opens each key once and looks for nothing below a key that is
// not there: it must find what reading each value alone finds, whatever
// keys the entries share, in whatever letter case they name them, and
// below a key it may not read.
TEST_F(RegistryAccess, CaptureFindsWhatEachValueReadAloneFinds) {
    const std::string shared = kScratch + "\\Shared", denied = kScratch + "\\Denied";
    SetRaw(HKEY_CURRENT_USER, shared, "One", REG_SZ, Sz("1"));
    SetRaw(HKEY_CURRENT_USER, shared, "Two", REG_SZ, Sz("2"));
    SetRaw(HKEY_CURRENT_USER, shared + "\\Below", "", REG_SZ, Sz("below"));
    SetRaw(HKEY_CURRENT_USER, denied, "Hidden", REG_SZ, Sz("hidden"));
    SetRaw(HKEY_CURRENT_USER, denied + "\\Readable", "Value", REG_SZ, Sz("readable"));
    // Everyone may do anything with the key but read it.
    ASSERT_TRUE(SetKeyDacl(HKEY_CURRENT_USER, denied, "D:P(D;;0x20019;;;WD)(A;;KA;;;WD)"));
    UniqueKey probe;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, denied.c_str(), 0, KEY_READ, probe.receive()), ERROR_ACCESS_DENIED);

    struct Row {
        std::string key, value;
        const char* found;  // the text read, or null for none
        int removeWhenAbsent;
        int missingKeys;
    } rows[] = {
        {shared, "One", "1", 0, -1},
        {ToLowerAscii(shared), "Two", "2", 0, -1},
        {shared + "\\Below", "", "below", 0, -1},
        {shared + "\\Below", "Missing", nullptr, 1, 0},
        {kScratch + "\\Gone", "X", nullptr, 0, -1},
        {kScratch + "\\Gone\\Deeper", "Y", nullptr, 1, 2},
        {kScratch + "\\GONE\\Deeper\\Still", "Z", nullptr, 1, 3},
        {"TarnwickGone\\Deeper", "Z", nullptr, 1, 2},  // below a first key that is not there
        {denied, "Hidden", nullptr, 0, -1},
        {denied + "\\Readable", "Value", "readable", 0, -1},
    };
    RegistryKeyList list;
    for (const Row& row : rows) {
        AddEntry(list, row.key, RegRoot::CurrentUser, row.value);
        list.entries.back().removeWhenAbsent = row.removeWhenAbsent;
    }
    CaptureEntries(list);
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const Row& row = rows[i];
        const RegistryEntry& captured = list.entries[i];
        SCOPED_TRACE(row.key + "|" + row.value);
        EXPECT_EQ(captured.present, row.found ? 1 : 0);
        EXPECT_EQ(captured.stringData, row.found ? row.found : "");
        EXPECT_EQ(captured.missingKeys, row.missingKeys);
        RegistryEntry alone = captured;
        ReadEntry(alone);
        EXPECT_EQ(FormatEntryLine(alone), FormatEntryLine(captured));
        EXPECT_EQ(alone.missingKeys, captured.missingKeys);
    }

    // What was not there at one capture is found by the next.
    SetRaw(HKEY_CURRENT_USER, kScratch + "\\Gone\\Deeper", "Y", REG_SZ, Sz("now"));
    CaptureEntries(list);
    EXPECT_EQ(list.entries[5].stringData, "now");
    EXPECT_EQ(list.entries[4].present, 0);
}

// The snapshot line a value captured under the scratch key gets.
std::string CapturedLine(const wchar_t* name, DWORD type, const std::string& bytes) {
    SetStored(HKEY_CURRENT_USER, kScratch, name, type, bytes);
    RegistryEntry entry;
    entry.root = RegRoot::CurrentUser;
    entry.keyPath = kScratch;
    entry.valueName = Ansi(name);
    ReadEntry(entry);
    return FormatEntryLine(entry).value_or("not present");
}

TEST_F(RegistryAccess, CapturedValuesKeepTheLinesEarlierFilesHadWhenTheyPutBackTheSameBytes) {
    const std::string key = "HKEY_CURRENT_USER\\" + kScratch + "\t";
    EXPECT_EQ(CapturedLine(L"Plain", REG_SZ, Utf16(std::wstring(L"Access.Application.10") + L'\0')),
              key + "Plain=REG_SZ\tAccess.Application.10");
    EXPECT_EQ(CapturedLine(L"Empty", REG_SZ, std::string(2, '\0')), key + "Empty=REG_SZ_HEX\t0x");
    EXPECT_EQ(CapturedLine(L"Binary", REG_BINARY, std::string("\x01\x02", 2)), key + "Binary=REG_RAW_HEX\t3:0x0102");
    EXPECT_EQ(CapturedLine(L"Number", REG_DWORD, std::string("\x0c\0\0\0", 4)), key + "Number=REG_DWORD\t12");
    // Zeros inside text the code page carries: the ANSI bytes, as before.
    EXPECT_EQ(CapturedLine(L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"a\0b\0\0", 5))),
              key + "Multi=REG_RAW_HEX\t7:0x6100620000");
    EXPECT_EQ(CapturedLine(L"Inner zero", REG_SZ, Utf16(std::wstring(L"abc\0def\0", 8))),
              key + "Inner zero=REG_RAW_HEX\t1:0x6162630064656600");
    // What no ANSI line puts back exactly.
    EXPECT_EQ(CapturedLine(L"No bytes", REG_SZ, ""), key + "No bytes=REG_STORED_HEX\t1:0x");
    EXPECT_EQ(CapturedLine(L"Unterminated", REG_MULTI_SZ, Utf16(L"ab")), key + "Unterminated=REG_STORED_HEX\t7:0x61006200");
    EXPECT_EQ(CapturedLine(L"Odd", REG_EXPAND_SZ, std::string("abc", 3)), key + "Odd=REG_STORED_HEX\t2:0x616263");
    EXPECT_EQ(CapturedLine(L"Short number", REG_DWORD, std::string("\x0c", 1)), key + "Short number=REG_RAW_HEX\t4:0x0C");

    BOOL lacksCharacters = FALSE;
    char ansi[64];
    if (GetACP() == CP_UTF8 ||
        (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, kGreekAndChinese.c_str(), -1, ansi, sizeof ansi, nullptr,
                             &lacksCharacters) > 0 &&
         !lacksCharacters)) {
        GTEST_SKIP() << "the ANSI code page of this prefix carries Greek and Chinese script";
    }
    EXPECT_EQ(CapturedLine(L"Greek", REG_SZ, Utf16(kGreekAndChinese + L'\0')),
              key + "Greek=REG_STORED_HEX\t1:0xA9036D0065006700610020002D4E0000");
}

// Windows Installer's data is where Windows Installer keeps it, the 64-bit
// view on 64-bit Windows, whatever the program's width; everything else is
// in the program's own view. Seeded and read back here through the explicit
// views, so that the test says the same as a 32-bit build under WOW64 as
// a 64-bit one.
TEST_F(RegistryAccess, WindowsInstallerDataIsInThe64BitViewAndEverythingElseInTheProgramsOwn) {
    const std::string components = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
                                   "Components\\0123456789ABCDEF0123456789ABCDEF";
    const std::string installer = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
    struct Case {
        HKEY root;
        std::string path;
        bool installerData;
    } cases[] = {
        {HKEY_LOCAL_MACHINE, installer, true},
        {HKEY_LOCAL_MACHINE, components, true},
        {HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\installer\\Components", true},
        {HKEY_LOCAL_MACHINE, installer + "X\\Components", false},
        {HKEY_LOCAL_MACHINE, kScratch, false},
        {HKEY_CURRENT_USER, installer, false},
        {HKEY_CLASSES_ROOT, "CLSID", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsWindowsInstallerDataPath(c.root, c.path), c.installerData) << c.path;

    const REGSAM ownView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    SetRawValue(HKEY_LOCAL_MACHINE, components, "Path", REG_SZ, std::string("C?\\Office10", 12), KEY_WOW64_64KEY);
    std::string text;
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, components, "Path", text), 0u);
    EXPECT_EQ(text, "C?\\Office10");
    EXPECT_EQ(WriteRegString(HKEY_LOCAL_MACHINE, components, "Path", "D?\\Office10", false), 0u);
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, components, "Path", KEY_WOW64_64KEY), "REG_SZ:D?\\Office10");
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, components, "Path", KEY_WOW64_32KEY), "missing") << "written into Wow6432Node";

    EXPECT_EQ(WriteRegString(HKEY_LOCAL_MACHINE, kScratch, "Path", "own view", true), 0u);
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kScratch, "Path", ownView), "REG_SZ:own view");
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, components.c_str(), KEY_WOW64_64KEY, 0);
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
