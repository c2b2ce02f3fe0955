// The snapshot tool natively: its .reg text both ways, the checks it makes
// of a snapshot file, and the program's command line and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "registry/snapshot.h"
#include "tools/snapshot/reg_text.h"
#include "tools/snapshot/snapshot_entries.h"
#include "tools/snapshot/text_encoding.h"
#include "tools/snapshot/tool.h"

namespace {

namespace fs = std::filesystem;


std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

class SnapshotTool : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        // Other builds on the machine may run the same test at the same time.
        dir = fs::temp_directory_path() / ("snapshot-tool-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string At(const std::string& name) const { return (dir / name).string(); }
};

int RunTool(const std::vector<std::string>& args, ToolOutput& output) { return RunSnapshotTool(args, ToolPlatform{}, output); }

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void SetValue(RegistryEntry& entry, const RegistryEntry& value) {
    entry.present = 1;
    entry.valueType = value.valueType;
    entry.stringData = value.stringData;
    entry.dwordData = value.dwordData;
    entry.rawType = value.rawType;
    entry.rawData = value.rawData;
}

RegistryEntry Value(int type, const std::string& text = "", std::uint32_t number = 0, std::uint32_t rawType = 0,
                    const std::string& raw = "") {
    RegistryEntry value;
    value.present = 1;
    value.valueType = type;
    value.stringData = text;
    value.dwordData = number;
    value.rawType = rawType;
    value.rawData = raw;
    return value;
}

// Every kind of value a capture can hold, as the launcher reads them.
const std::vector<RegistryEntry>& EveryKind() {
    static const std::vector<RegistryEntry> kinds = {
        Value(kTypeString, "Access.Application.11"),
        Value(kTypeString, "application/x=y"),
        Value(kTypeString, ""),
        Value(kTypeString, "trailing blank "),
        Value(kTypeString, "C:\\Program Files\\\"quoted\"\\x"),
        Value(kTypeString, "two\r\nlines"),
        Value(kTypeString, "caf\xE9 \x80 5"),
        Value(kTypeExpandString, "%SystemRoot%\\msaccess.ico"),
        Value(kTypeExpandString, ""),
        Value(kTypeDword, "", 0),
        Value(kTypeDword, "", 0xFFFFFFFFu),
        Value(kTypeDword, "", 12),
        Value(kTypeRaw, "", 0, kRegMultiSz, std::string("a\0b\xE9\0\0", 6)),
        Value(kTypeRaw, "", 0, kRegBinary, std::string("\x00\x01\xFF", 3)),
        Value(kTypeRaw, "", 0, kRegBinary, ""),
        Value(kTypeRaw, "", 0, kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)),
        Value(kTypeRaw, "", 0, 1, std::string(5000, 'x') + '\0'),
        Value(kTypeRaw, "", 0, 2, std::string(4200, '%') + '\0'),
        Value(kTypeRaw, "", 0, 4, "\x01\x02\x03"),
        Value(kTypeRaw, "", 0, kRegResourceRequirementsList, "odd type"),
        Value(kTypeRaw, "", 0, 0, ""),
    };
    return kinds;
}

// The catalogue with a value in every entry, every kind in turn. Entries
// that name one registry value (their paths differ in letter case at most)
// hold one value, as they do after a capture.
std::vector<RegistryEntry> CapturedCatalogue() {
    auto entries = CatalogueEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t first = i;
        for (size_t j = 0; j < i && first == i; ++j) {
            if (SameNoCase(EntryLookupPath(entries[j]), EntryLookupPath(entries[i]))) first = j;
        }
        SetValue(entries[i], first == i ? EveryKind()[i % EveryKind().size()] : entries[first]);
    }
    return entries;
}

void ExpectSameEntries(const std::vector<RegistryEntry>& expected, const std::vector<RegistryEntry>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string where = EntryLookupPath(expected[i]);
        EXPECT_EQ(actual[i].present, expected[i].present) << where;
        EXPECT_EQ(actual[i].valueType, expected[i].valueType) << where;
        EXPECT_EQ(actual[i].stringData, expected[i].stringData) << where;
        EXPECT_EQ(actual[i].dwordData, expected[i].dwordData) << where;
        EXPECT_EQ(actual[i].rawType, expected[i].rawType) << where;
        EXPECT_EQ(actual[i].rawData, expected[i].rawData) << where;
    }
}

// --- decode, then encode ----------------------------------------------------

TEST_F(SnapshotTool, DecodeThenEncodeGivesBackEveryKindOfValueInBothEncodings) {
    const auto captured = CapturedCatalogue();
    const std::string file = EncipherSnapshot(BuildSnapshotText(captured));
    WriteAll(At("~ZQReg.dat"), file);
    std::vector<RegistryEntry> expected = CatalogueEntries();
    ApplySnapshotBytes(file, expected);

    for (const std::string encoding : {"--utf8", "--utf16"}) {
        ToolOutput output;
        ASSERT_EQ(RunTool({"decode", encoding, At("~ZQReg.dat"), At("values.reg")}, output), kExitDone) << output.err;
        ASSERT_EQ(RunTool({"encode", At("values.reg"), At("again.dat")}, output), kExitDone) << output.err;
        EXPECT_EQ(output.err, "") << encoding;
        std::vector<RegistryEntry> read = CatalogueEntries();
        ApplySnapshotBytes(ReadAll(At("again.dat")), read);
        ExpectSameEntries(expected, read);
        // A capture would have written these very bytes.
        EXPECT_EQ(ReadAll(At("again.dat")), file) << encoding;
    }
    int kinds[101] = {};
    for (const auto& entry : expected) kinds[entry.valueType] += entry.present;
    EXPECT_GT(kinds[kTypeString], 0);
    EXPECT_GT(kinds[kTypeExpandString], 0);
    EXPECT_GT(kinds[kTypeDword], 0);
    EXPECT_GT(kinds[kTypeRaw], 0);
}

TEST_F(SnapshotTool, DecodePrintsRegeditText) {
    auto entries = CatalogueEntries();
    std::vector<RegistryEntry> chosen;
    auto pick = [&](const std::string& path, const RegistryEntry& value) {
        for (auto entry : entries) {
            if (EntryLookupPath(entry) == path) {
                SetValue(entry, value);
                chosen.push_back(entry);
                return;
            }
        }
        FAIL() << path << " is not in the catalogue";
    };
    pick("HKEY_CLASSES_ROOT\\.accda", Value(kTypeString, "Access.ACCDAExtension.12"));
    pick("HKEY_CLASSES_ROOT\\.accda\\Content Type", Value(kTypeString, "a\\b \"q\""));
    pick("HKEY_CLASSES_ROOT\\Access.Application\\CurVer", Value(kTypeExpandString, "%A%"));
    pick("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\\LastAccessInstall", Value(kTypeDword, "", 12));
    pick("HKEY_CLASSES_ROOT\\.mdb", Value(kTypeRaw, "", 0, kRegMultiSz, std::string("a\0\xE9\0\0", 5)));
    pick("HKEY_CLASSES_ROOT\\.mde", Value(kTypeRaw, "", 0, kRegQword, std::string("\x0c\0\0\0\0\0\0\x80", 8)));
    pick("HKEY_CLASSES_ROOT\\.mda", Value(kTypeRaw, "", 0, kRegBinary, "\x01\x02"));
    pick("HKEY_CLASSES_ROOT\\.mdw", Value(kTypeRaw, "", 0, kRegResourceList, "\xAB"));
    pick("HKEY_CLASSES_ROOT\\.ade", Value(kTypeString, "two\nlines"));
    WriteAll(At("f.dat"), EncipherSnapshot(BuildSnapshotText(chosen)));

    ToolOutput output;
    ASSERT_EQ(RunTool({"decode", At("f.dat")}, output), kExitDone) << output.err;
    const std::string expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.accda]\r\n"
        "@=\"Access.ACCDAExtension.12\"\r\n"
        "\"Content Type\"=\"a\\\\b \\\"q\\\"\"\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\Access.Application\\CurVer]\r\n"
        "@=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common]\r\n"
        "\"LastAccessInstall\"=dword:0000000c\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.mdb]\r\n"
        "@=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.mde]\r\n"
        "@=hex(b):0c,00,00,00,00,00,00,80\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.mda]\r\n"
        "@=hex:01,02\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.mdw]\r\n"
        "@=hex(8):ab\r\n"
        "\r\n[HKEY_CLASSES_ROOT\\.ade]\r\n"
        "@=hex(1):74,00,77,00,6f,00,0a,00,6c,00,69,00,6e,00,65,00,73,00,00,00\r\n"
        "\r\n";
    EXPECT_EQ(output.out, expected);

    ToolOutput wide;
    ASSERT_EQ(RunTool({"decode", "--utf16", At("f.dat")}, wide), kExitDone);
    EXPECT_EQ(wide.out, "\xFF\xFE" + *Utf16LeFromUtf8(expected));
}

TEST_F(SnapshotTool, LongHexDataIsWrappedAsRegeditWrapsItAndReadBack) {
    RegistryEntry entry = CatalogueEntries()[0];
    SetValue(entry, Value(kTypeRaw, "", 0, kRegBinary, std::string(100, '\x5A')));
    const auto text = RegDataText(entry, 2);
    ASSERT_TRUE(text);
    size_t lines = 0, start = 0;
    for (size_t end; (end = text->find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
        EXPECT_LE(end - start + (lines == 0 ? 2 : 0), 80u);
        EXPECT_EQ(text->compare(end - 2, 2, ",\\"), 0);
    }
    EXPECT_GT(lines, 2u);
    std::string error;
    const auto parse = ParseRegText(std::string(kRegHeader) + "\r\n[HKEY_CLASSES_ROOT\\K]\r\n@=" + *text + "\r\n", error);
    ASSERT_TRUE(parse) << error;
    ASSERT_EQ(parse->values.size(), 1u);
    EXPECT_EQ(parse->values[0].bytes, entry.rawData);
}

// --- encode -----------------------------------------------------------------

TEST_F(SnapshotTool, EncodeTakesCatalogueValuesInAnyLetterCaseAndSkipsTheRestAloud) {
    WriteAll(At("in.reg"),
             "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
             "; exported by hand\n"
             "[HKEY_CLASSES_ROOT\\ACCESS.APPLICATION\\curver]\n"
             "@ = \"Access.Application.12\"\n"
             "\"Unwatched\"=\"x\"\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common]\n"
             "\"LastAccessInstall\"=DWORD:0000000E\n"
             "[HKEY_CURRENT_USER\\Software\\Elsewhere]\n"
             "\"Setting\"=dword:1\n"
             "[HKEY_CLASSES_ROOT\\.mdb]\n"
             "@=-\n"
             "[-HKEY_CLASSES_ROOT\\.mde]\n"
             "@=\"ignored\"\n");
    ToolOutput output;
    ASSERT_EQ(RunTool({"encode", At("in.reg"), At("out.dat")}, output), kExitDone) << output.err;
    const auto lines = SplitFields(DecipherSnapshot(ReadAll(At("out.dat"))), "\n");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_SZ\tAccess.Application.12",
                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\tLastAccessInstall=REG_DWORD\t14",
                     }));
    for (const std::string skipped : {"line 5: [HKEY_CLASSES_ROOT\\ACCESS.APPLICATION\\curver] \"Unwatched\"",
                                      "line 9: [HKEY_CURRENT_USER\\Software\\Elsewhere] \"Setting\"",
                                      "line 11: [HKEY_CLASSES_ROOT\\.mdb] @", "line 12: [-HKEY_CLASSES_ROOT\\.mde]"}) {
        EXPECT_NE(output.err.find(skipped), std::string::npos) << skipped << " in:\n" << output.err;
    }
    EXPECT_EQ(output.err.find("ignored"), std::string::npos);
}

// Text outside the code page travels as the registry stores it (UTF-16), so
// that -RESTORE puts it back byte for byte.
TEST_F(SnapshotTool, EncodeKeepsTextOutsideTheCodePageAsStoredAndDecodeGivesItBack) {
    const std::string text = std::string(kRegHeader) + "\r\n[HKEY_CLASSES_ROOT\\.mdb]\r\n@=\"\xE6\x97\xA5\"\r\n";
    WriteAll(At("in.reg"), "\xFF\xFE" + *Utf16LeFromUtf8(text));
    ToolOutput output;
    ASSERT_EQ(RunTool({"encode", At("in.reg"), At("out.dat")}, output), kExitDone) << output.err;
    std::vector<RegistryEntry> entries = CatalogueEntries();
    ApplySnapshotBytes(ReadAll(At("out.dat")), entries);
    const auto mdb = std::find_if(entries.begin(), entries.end(), [](const RegistryEntry& e) {
        return e.root == RegRoot::ClassesRoot && e.keyPath == ".mdb" && e.valueName.empty();
    });
    ASSERT_NE(mdb, entries.end());
    EXPECT_EQ(mdb->valueType, kTypeStored);
    EXPECT_EQ(mdb->rawType, kRegSz);
    EXPECT_EQ(mdb->rawData, std::string("\xE5\x65\0\0", 4));  // U+65E5 and the terminator, UTF-16LE
    ASSERT_EQ(RunTool({"decode", At("out.dat")}, output), kExitDone) << output.err;
    EXPECT_NE(output.out.find("@=hex(1):e5,65,00,00"), std::string::npos) << output.out;
}

// encode never writes a file that decode or the launcher's restore would
// refuse: such a value ends the run with a message and writes nothing.
TEST_F(SnapshotTool, EncodeRefusesWhatTheLauncherWouldNotRestore) {
    const std::string bigHex = [] {
        std::string hex = "hex:00";
        for (size_t i = 1; i <= kMaxSnapshotValueBytes; ++i) hex += ",00";
        return hex;
    }();
    for (const auto& [data, reason] : std::vector<std::pair<std::string, std::string>>{
             {"hex(c):01,02,03,04,05,06,07,08", "registry type 12"},
             {"hex(ffffffff):01", "registry type 4294967295"},
             {bigHex, "more than 65536 bytes"},
         }) {
        WriteAll(At("in.reg"), std::string(kRegHeader) + "\n\n[HKEY_CLASSES_ROOT\\.mde]\n@=" + data + "\n");
        std::remove(At("out.dat").c_str());
        ToolOutput output;
        EXPECT_EQ(RunTool({"encode", At("in.reg"), At("out.dat")}, output), kExitDamaged) << reason;
        EXPECT_NE(output.err.find("line 4: [HKEY_CLASSES_ROOT\\.mde] @ cannot be carried by a snapshot: " + reason),
                  std::string::npos)
            << output.err;
        EXPECT_FALSE(std::ifstream(At("out.dat")).good()) << reason << ": a file was written";
    }
}

TEST(RegData, ValuesTakeTheKindACaptureGivesThem) {
    auto convert = [](RegTextValue::Kind kind, std::uint32_t type, const std::string& bytes, const std::string& text = "") {
        RegTextValue value;
        value.kind = kind;
        value.hexType = type;
        value.bytes = bytes;
        value.text = text;
        return ValueFromRegData(value);
    };
    using Kind = RegTextValue::Kind;
    const auto shortText = convert(Kind::Hex, 2, *Utf16LeFromUtf8(std::string("ab\0", 3)));
    EXPECT_EQ(shortText.value->valueType, kTypeExpandString);
    EXPECT_EQ(shortText.value->stringData, "ab");
    const auto longText = convert(Kind::String, 0, "", std::string(4096, 'y'));
    EXPECT_EQ(longText.value->valueType, kTypeRaw);  // with its terminator it is longer than the launcher reads as text
    EXPECT_EQ(longText.value->rawData, std::string(4096, 'y') + '\0');
    EXPECT_EQ(convert(Kind::String, 0, "", std::string(4095, 'y')).value->valueType, kTypeString);
    const auto unterminated = convert(Kind::Hex, 1, *Utf16LeFromUtf8("ab"));
    EXPECT_EQ(unterminated.value->valueType, kTypeStored);  // as the registry stores it
    EXPECT_EQ(unterminated.value->rawData, *Utf16LeFromUtf8("ab"));
    EXPECT_EQ(convert(Kind::Hex, 1, *Utf16LeFromUtf8(std::string("a\0b\0", 4))).value->valueType, kTypeRaw);
    const auto fourBytes = convert(Kind::Hex, 4, "\x78\x56\x34\x12");
    EXPECT_EQ(fourBytes.value->valueType, kTypeDword);
    EXPECT_EQ(fourBytes.value->dwordData, 0x12345678u);
    EXPECT_EQ(convert(Kind::Hex, 4, "\x01\x02").value->valueType, kTypeRaw);
    const auto oddBytes = convert(Kind::Hex, 7, "\x61");  // an odd number of UTF-16 bytes
    EXPECT_EQ(oddBytes.value->valueType, kTypeStored);
    EXPECT_EQ(oddBytes.value->rawData, "\x61");
    EXPECT_FALSE(convert(Kind::Delete, 0, "").value);
}

// --- .reg syntax --------------------------------------------------------------

TEST(RegSyntax, ReadsWhatRegeditWrites) {
    std::string error;
    const auto parse = ParseRegText(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\K\\Sub]\r\n"
        "\"a\\\\b\"=\"line\\nnext\\\"\"\r\n@=hex(2):41,00,\\\r\n  00,00\r\n\"bin\"=hex:\r\n"
        "\"qw\"=hex(B):01,02,03,04,05,06,07,08\r\n\"n\"=dword:ffffffff\r\n",
        error);
    ASSERT_TRUE(parse) << error;
    ASSERT_EQ(parse->values.size(), 5u);
    EXPECT_EQ(parse->values[0].rootName, "HKEY_CLASSES_ROOT");
    EXPECT_EQ(parse->values[0].keyPath, "K\\Sub");
    EXPECT_EQ(parse->values[0].name, "a\\b");
    EXPECT_EQ(parse->values[0].text, "line\nnext\"");
    EXPECT_EQ(parse->values[1].name, "");
    EXPECT_EQ(parse->values[1].hexType, 2u);
    EXPECT_EQ(parse->values[1].bytes, std::string("A\0\0\0", 4));
    EXPECT_EQ(parse->values[1].line, 5);
    EXPECT_EQ(parse->values[2].hexType, 3u);
    EXPECT_EQ(parse->values[2].bytes, "");
    EXPECT_EQ(parse->values[3].hexType, 11u);
    EXPECT_EQ(parse->values[4].number, 0xFFFFFFFFu);
}

TEST(RegSyntax, BadTextIsNamedByItsLine) {
    const std::string header = std::string(kRegHeader) + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n", "line 1:"},
        {header + "@=\"x\"\n", "line 2: a value comes before any [key] section"},
        {header + "[HKEY_CLASSES_ROOT\\K\n", "line 2: a key section"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=\"open\n", "line 3: a quoted string is not closed"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=\"\\q\"\n", "line 3: unknown escape \\q"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=dword:123456789\n", "line 3: dword:"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=hex:01,0g\n", "line 3: \"0g\""},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=hex:01,,02\n", "line 3: \"\""},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=hex(2:01\n", "line 3: hex("},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=hex:01,\\", "line 3: the hex list continues past the end"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=\"x\" trailing\n", "line 3: text follows"},
        {header + "[HKEY_CLASSES_ROOT\\K]\n\"name\" \"x\"\n", "line 3: the value's name is not followed by \"=\""},
        {header + "[HKEY_CLASSES_ROOT\\K]\n@=str:x\n", "line 3: the data is none of"},
        {header + "[HKEY_CLASSES_ROOT\\K]\nname=\"x\"\n", "line 3: neither"},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(ParseRegText(text, error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error << "\nfor:\n" << text;
    }
}

// --- snapshot files ---------------------------------------------------------

TEST(SnapshotFileCheck, AcceptsWhatTheWriterWritesAndNamesWhatIsWrong) {
    std::string error;
    const auto empty = EntriesOfSnapshotFile("", error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    const auto foreign = EntriesOfSnapshotFile(EncipherSnapshot("HKEY_USERS\\S\\K\tN=REG_DWORD\t5\n"), error);
    ASSERT_TRUE(foreign) << error;
    ASSERT_EQ(foreign->size(), 1u);
    EXPECT_EQ(EntryLookupPath((*foreign)[0]), "HKEY_USERS\\S\\K\\N");
    EXPECT_EQ((*foreign)[0].dwordData, 5u);

    const std::pair<std::string, std::string> damaged[] = {
        {std::string(13, 'x'), "13 bytes long"},
        {std::string(16, '\x5A'), "damaged or not a snapshot file"},
        {EncipherSnapshot(std::string("HKEY_USERS\\K\t=REG_SZ\tx\n\0\0\0\0\0\0\0\0\0\0", 32)), "zero byte"},
        {EncipherSnapshot("HKEY_USERS\\K\t=REG_SZ\tx"), "complete line"},
        {EncipherSnapshot("HKEY_USERS\\K\t=REG_SZ\tx\n\n"), "line 2 of the deciphered snapshot is empty"},
        {EncipherSnapshot("HKEY_USERS\\K\t=REG_QWORD\t1\n"), "type tag \"REG_QWORD\""},
        {EncipherSnapshot("HKEY_USERS\\K\t=REG_SZ_HEX\t0xZZ\n"), "data it does not accept: \"0xZZ\""},
        {EncipherSnapshot("HKEY_NOWHERE\\K\t=REG_SZ\tx\n"), "registry root"},
        {EncipherSnapshot("HKEY_USERS\t=REG_SZ\tx\n"), "registry root"},
        {EncipherSnapshot("HKEY_USERS\\K\tN=REG_SZ\tx\ty\n"), "has 5 fields"},
        {EncipherSnapshot("HKEY_USERS\\K\n"), "has 1 fields"},
    };
    for (const auto& [bytes, message] : damaged) {
        std::string why;
        EXPECT_FALSE(EntriesOfSnapshotFile(bytes, why)) << message;
        EXPECT_NE(why.find(message), std::string::npos) << why;
    }
}

// --- text encodings ---------------------------------------------------------

TEST(TextEncoding, ConvertsStrictlyAndKeepsEveryAnsiByte) {
    const std::string mixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, a character beyond 16 bits
    const auto utf16 = Utf16LeFromUtf8(mixed);
    ASSERT_TRUE(utf16);
    EXPECT_EQ(*utf16, std::string("a\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE", 10));
    EXPECT_EQ(Utf8FromUtf16Le(*utf16), mixed);
    for (const std::string bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(Utf16LeFromUtf8(bad)) << Shown(bad);
    }
    EXPECT_FALSE(Utf8FromUtf16Le(std::string("\x00\xDC", 2)));  // a low surrogate alone
    EXPECT_FALSE(Utf8FromUtf16Le(std::string("\x3D\xD8", 2)));  // a high surrogate at the end
    EXPECT_FALSE(Utf8FromUtf16Le("abc"));

    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) everyByte += char(byte);
    EXPECT_EQ(AnsiFromUtf16Le(Utf16LeFromAnsi(everyByte)), everyByte);
    EXPECT_EQ(Utf16LeFromAnsi("\x80"), std::string("\xAC\x20", 2));
    EXPECT_FALSE(AnsiFromUtf8("\xC4\x80"));  // U+0100 is not in the code page
}

// --- the program ------------------------------------------------------------

struct ProgramRun {
    int code = -1;
    std::string out, err;
};

ProgramRun RunProgram(const std::string& arguments, const fs::path& dir) {
    const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    const int status = std::system((std::string(TARNWICK_SNAPSHOT_PROGRAM) + " " + arguments + " >" + out + " 2>" + err).c_str());
    ProgramRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

TEST_F(SnapshotTool, ProgramPrintsUsageForUsageErrors) {
    for (const std::string arguments : {"", "decode", "encode only-one", "frobnicate x", "decode --utf32 f", "diff f",
                                        "decode a b c"}) {
        const ProgramRun run = RunProgram(arguments, dir);
        EXPECT_EQ(run.code, kExitUsage) << arguments;
        EXPECT_NE(run.err.find("Usage:\n"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("tarnwick-snapshot encode REGFILE OUT"), std::string::npos) << arguments;
    }
    const ProgramRun help = RunProgram("--help", dir);
    EXPECT_EQ(help.code, kExitDone);
    EXPECT_NE(help.out.find("decode [--utf16 | --utf8] FILE [REGFILE]"), std::string::npos);
}

TEST_F(SnapshotTool, ProgramReportsDamagedInputOnStandardErrorWithoutCrashing) {
    WriteAll(At("short.dat"), std::string(13, '\x01'));
    WriteAll(At("noise.dat"), std::string(64, '\x5A'));
    WriteAll(At("tag.dat"), EncipherSnapshot("HKEY_CLASSES_ROOT\\.mdb\t=REG_WHATEVER\t1\n"));
    WriteAll(At("bad.reg"), std::string(kRegHeader) + "\n[HKEY_CLASSES_ROOT\\.mdb]\n@=dword:xyz\n");
    WriteAll(At("latin1.reg"), std::string(kRegHeader) + "\n[HKEY_CLASSES_ROOT\\.mdb]\n@=\"caf\xE9\"\n");
    const std::pair<std::string, std::string> cases[] = {
        {"decode " + At("short.dat"), "8-byte blocks"},
        {"decode " + At("noise.dat"), "damaged or not a snapshot file"},
        {"decode " + At("tag.dat"), "REG_WHATEVER"},
        {"decode " + At("missing.dat"), "cannot be read"},
        {"encode " + At("bad.reg") + " " + At("out.dat"), "line 3: dword:"},
        {"encode " + At("latin1.reg") + " " + At("out.dat"), "neither UTF-16LE"},
        {"encode " + At("missing.reg") + " " + At("out.dat"), "cannot be read"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProgramRun run = RunProgram(arguments, dir);
        EXPECT_EQ(run.code, kExitDamaged) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(run.out, "") << arguments;
    }
    EXPECT_FALSE(fs::exists(At("out.dat")));
}

TEST_F(SnapshotTool, ProgramDecodesToStandardOutput) {
    WriteAll(At("f.dat"), EncipherSnapshot("HKEY_CLASSES_ROOT\\.mdb\t=REG_SZ\tAccess.Application.10\n"));
    const ProgramRun run = RunProgram("decode " + At("f.dat"), dir);
    EXPECT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(run.out, std::string(kRegHeader) + "\r\n\r\n[HKEY_CLASSES_ROOT\\.mdb]\r\n@=\"Access.Application.10\"\r\n\r\n");
    EXPECT_EQ(run.err, "");
}

TEST(DiffCommand, ListsOnlyValuesThatDifferWithBothSides) {
    const fs::path dir = fs::temp_directory_path() / ("snapshot-tool-" + std::to_string(getpid()) + "-diff");
    fs::create_directories(dir);
    const std::string file = (dir / "f.dat").string();
    WriteAll(file, EncipherSnapshot("HKEY_CLASSES_ROOT\\.mdb\t=REG_SZ\tAccess.Application.10\n"
                                    "HKEY_CLASSES_ROOT\\.accda\tContent Type=REG_SZ\tsame\n"
                                    "HKEY_LOCAL_MACHINE\\K\tN=REG_DWORD\t1\n"));
    ToolPlatform platform;
    platform.readCurrent = [](const RegistryEntry& captured) {
        RegistryEntry now = captured;
        if (captured.keyPath == ".mdb") now.stringData = "Access.Application.12";
        if (captured.keyPath == "K") now.present = 0;
        return now;
    };
    ToolOutput output;
    EXPECT_EQ(RunSnapshotTool({"diff", file}, platform, output), kExitDifferent);
    EXPECT_EQ(output.out,
              "HKEY_CLASSES_ROOT\\.mdb\t@\t\"Access.Application.10\"\t\"Access.Application.12\"\r\n"
              "HKEY_LOCAL_MACHINE\\K\tN\tdword:00000001\t(absent)\r\n");
    platform.readCurrent = [](const RegistryEntry& captured) { return captured; };
    ToolOutput same;
    EXPECT_EQ(RunSnapshotTool({"diff", file}, platform, same), kExitDone);
    EXPECT_EQ(same.out, "");
    fs::remove_all(dir);
}

}  // namespace
