#include "registry/snapshot.h"

#include <gtest/gtest.h>

#include <tuple>

#include "registry/capture_catalogue.h"

namespace {

RegistryEntry Entry(RegRoot root, const std::string& key, const std::string& name) {
    RegistryEntry e;
    e.root = root;
    e.keyPath = key;
    e.valueName = name;
    return e;
}

RegistryEntry Text(RegRoot root, const std::string& key, const std::string& name, const std::string& data,
                   int type = kTypeString) {
    RegistryEntry e = Entry(root, key, name);
    e.present = 1;
    e.valueType = type;
    e.stringData = data;
    return e;
}

RegistryEntry Number(RegRoot root, const std::string& key, const std::string& name, std::uint32_t data) {
    RegistryEntry e = Entry(root, key, name);
    e.present = 1;
    e.valueType = kTypeDword;
    e.dwordData = data;
    return e;
}

// Writes the entries to file bytes and reads them into fresh entries of the same identities.
std::vector<RegistryEntry> RoundTrip(const std::vector<RegistryEntry>& written) {
    std::vector<RegistryEntry> read;
    for (const auto& e : written) read.push_back(Entry(e.root, e.keyPath, e.valueName));
    ApplySnapshotBytes(EncipherSnapshot(BuildSnapshotText(written)), read);
    return read;
}

TEST(Catalogue, HoldsEveryRowInOrderWithItsRepeats) {
    const auto entries = CatalogueEntries();
    ASSERT_EQ(entries.size(), 348u);
    EXPECT_EQ(EntryLookupPath(entries.front()), "HKEY_CLASSES_ROOT\\.accda");
    EXPECT_EQ(EntryLookupPath(entries.back()),
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"
              "87FA5D886C9174D44BCEB5FA380DE229\\00004102110000000000000000F01FEC");
    EXPECT_EQ(EntryLookupPath(entries[346]), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\\LastAccessInstall");
    int exact = 0, caseOnly = 0;
    for (size_t i = 0; i < kClassesRowCount; ++i) {
        bool sameSeen = false, caseSeen = false;
        for (size_t j = 0; j < i; ++j) {
            const std::string a = EntryLookupPath(entries[i]), b = EntryLookupPath(entries[j]);
            if (a == b) sameSeen = true;
            else if (strcasecmp(a.c_str(), b.c_str()) == 0) caseSeen = true;
        }
        exact += sameSeen;
        caseOnly += !sameSeen && caseSeen;
    }
    EXPECT_EQ(exact, 12);
    EXPECT_EQ(caseOnly, 6);
}

TEST(SnapshotLine, OrdinaryValuesKeepTheirExactForm) {
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::ClassesRoot, "Access.Application\\CurVer", "", "Access.Application.10")),
              "HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_SZ\tAccess.Application.10");
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::ClassesRoot, ".accda", "Content Type", "application/msaccess")),
              "HKEY_CLASSES_ROOT\\.accda\tContent Type=REG_SZ\tapplication/msaccess");
    EXPECT_EQ(*FormatEntryLine(Number(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall", 0)),
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\tLastAccessInstall=REG_DWORD\t0");
    EXPECT_EQ(*FormatEntryLine(Number(RegRoot::CurrentUser, "K", "V", 4294967295u)),
              "HKEY_CURRENT_USER\\K\tV=REG_DWORD\t4294967295");
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::Users, "K", "", "%SystemRoot%\\x.ico", kTypeExpandString)),
              "HKEY_USERS\\K\t=REG_EXPAND_SZ\t%SystemRoot%\\x.ico");
    EXPECT_FALSE(FormatEntryLine(Entry(RegRoot::ClassesRoot, "K", "")).has_value());
}

TEST(SnapshotLine, ValuesThePlainFormCannotCarryAreWrittenInHex) {
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::ClassesRoot, "K", "", "")), "HKEY_CLASSES_ROOT\\K\t=REG_SZ_HEX\t0x");
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::ClassesRoot, "K", "", "a=b")), "HKEY_CLASSES_ROOT\\K\t=REG_SZ_HEX\t0x613D62");
    EXPECT_EQ(*FormatEntryLine(Text(RegRoot::ClassesRoot, "K", "", "x ", kTypeExpandString)),
              "HKEY_CLASSES_ROOT\\K\t=REG_EXPAND_SZ_HEX\t0x7820");
    const std::vector<RegistryEntry> awkward = {
        Text(RegRoot::ClassesRoot, "A", "", ""), Text(RegRoot::ClassesRoot, "B", "", "tab\there"),
        Text(RegRoot::ClassesRoot, "C", "", "line\r\nend"), Text(RegRoot::ClassesRoot, "D", "", "blank ", kTypeExpandString),
        Text(RegRoot::ClassesRoot, "E", "", "\xE9t\xE9=1"),
    };
    const auto read = RoundTrip(awkward);
    for (size_t i = 0; i < awkward.size(); ++i) {
        EXPECT_EQ(read[i].present, 1) << i;
        EXPECT_EQ(read[i].valueType, awkward[i].valueType) << i;
        EXPECT_EQ(read[i].stringData, awkward[i].stringData) << i;
    }
}

TEST(SnapshotFile, PaddingMakesWholeBlocks) {
    EXPECT_EQ(EncipherSnapshot("").size(), 0u);
    EXPECT_EQ(EncipherSnapshot("12345678").size(), 8u);  // no padding block
    EXPECT_EQ(EncipherSnapshot("123456789").size(), 16u);
    EXPECT_NE(EncipherSnapshot("12345678"), "12345678");
}

TEST(SnapshotFile, DefaultAndNamedValuesOfOneKeyAndExtremeNumbers) {
    const std::vector<RegistryEntry> written = {
        Text(RegRoot::ClassesRoot, ".accda", "", "Access.ACCDAExtension.12"),
        Text(RegRoot::ClassesRoot, ".accda", "Content Type", "application/msaccess.addin"),
        Number(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall", 4294967295u),
        Number(RegRoot::CurrentUser, "Software\\X", "Zero", 0),
        Entry(RegRoot::ClassesRoot, "Absent", ""),
    };
    const auto read = RoundTrip(written);
    EXPECT_EQ(read[0].stringData, "Access.ACCDAExtension.12");
    EXPECT_EQ(read[1].stringData, "application/msaccess.addin");
    EXPECT_EQ(read[2].dwordData, 4294967295u);
    EXPECT_EQ(read[2].valueType, kTypeDword);
    EXPECT_EQ(read[3].present, 1);
    EXPECT_EQ(read[3].dwordData, 0u);
    EXPECT_EQ(read[4].present, 0);
}

TEST(SnapshotFile, OnlyTheFirstOfTwoEqualLookupPathsTakesTheValue) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "K", "")};
    ApplySnapshotBytes(EncipherSnapshot("HKEY_CLASSES_ROOT\\K\t=REG_SZ\tv\n"), entries);
    EXPECT_EQ(entries[0].present, 1);
    EXPECT_EQ(entries[1].present, 0);
}

TEST(SnapshotFile, LinesThatNameNothingOrDoNotParseChangeNothing) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "L", "N")};
    entries[1].present = 1;  // keeps what it had before the read
    entries[1].valueType = kTypeString;
    entries[1].stringData = "before";
    ApplySnapshotBytes(EncipherSnapshot("HKEY_NOWHERE\\K\t=REG_SZ\tv\n"
                                        "HKEY_CLASSES_ROOT\\Other\t=REG_SZ\tv\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_SZ\ta\tb\tc\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_BINARY\t01\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_SZ_HEX\t0xZZ\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_SZ_HEX\t0x6100\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_SZ\n"),
                       entries);
    EXPECT_EQ(entries[0].present, 0);
    EXPECT_EQ(entries[1].stringData, "before");
}

// A snapshot file sits in a folder its user can write to, and restore mode
// writes into HKEY_LOCAL_MACHINE: what capture never writes is refused, one
// reason a line, and the rest of the file still applies.
TEST(SnapshotFile, RestoreRefusesWhatCaptureNeverWrites) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "L", "")};
    const std::string tooLong(kMaxSnapshotValueBytes + 1, 'x');
    const SnapshotApplied applied = ApplySnapshotBytes(
        EncipherSnapshot("HKEY_CLASSES_ROOT\\K\t=REG_SZ\t" + tooLong + "\n"
                         "HKEY_CLASSES_ROOT\\K\t=REG_RAW_HEX\t4294967295:0x01\n"
                         "HKEY_CLASSES_ROOT\\K\t=REG_RAW_HEX\t1:0x4142\n"         // REG_SZ without its terminator
                         "HKEY_CLASSES_ROOT\\K\t=REG_RAW_HEX\t7:0x410000\n"       // a multi-string kept as read: fine
                         "HKEY_CLASSES_ROOT\\L\t=REG_STORED_HEX\t1:0x4100\n"      // stored as found: fine
                         "HKEY_CLASSES_ROOT\\Other\t=REG_SZ\tv\n"),
        entries);
    ASSERT_EQ(applied.refused.size(), 4u);
    EXPECT_NE(applied.refused[0].find("more than 65536 bytes"), std::string::npos) << applied.refused[0];
    EXPECT_NE(applied.refused[1].find("registry type 4294967295"), std::string::npos) << applied.refused[1];
    EXPECT_NE(applied.refused[2].find("terminator"), std::string::npos) << applied.refused[2];
    EXPECT_NE(applied.refused[3].find("HKEY_CLASSES_ROOT\\Other"), std::string::npos) << applied.refused[3];
    EXPECT_EQ(applied.valuesSet, 2u);
    EXPECT_EQ(entries[0].rawType, 7u);
    EXPECT_EQ(entries[0].rawData, std::string("A\0\0", 3));
    EXPECT_EQ(entries[1].rawData, std::string("A\0", 2));
}

TEST(SnapshotFile, ALaterLineReplacesTheWholeValueAndSurvivesAnotherRoundTrip) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", "")};
    ApplySnapshotBytes(EncipherSnapshot("HKEY_CLASSES_ROOT\\K\t=REG_SZ\tfirst\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_RAW_HEX\t3:0x01\n"
                                        "HKEY_CLASSES_ROOT\\K\t=REG_DWORD\t7\n"),
                       entries);
    EXPECT_EQ(entries[0].valueType, kTypeDword);
    EXPECT_EQ(entries[0].dwordData, 7u);
    EXPECT_EQ(entries[0].stringData, "");  // nothing of the earlier lines is left behind
    EXPECT_EQ(entries[0].rawData, "");
    EXPECT_EQ(entries[0].rawType, 0u);
    const auto again = RoundTrip(entries);
    EXPECT_EQ(again[0].valueType, entries[0].valueType);
    EXPECT_EQ(again[0].dwordData, entries[0].dwordData);
    EXPECT_EQ(again[0].stringData, entries[0].stringData);
    EXPECT_EQ(again[0].rawData, entries[0].rawData);
}

TEST(SnapshotFile, BytesThatAreNotWholeBlocksAreParsedAsTheyAre) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", "")};
    ApplySnapshotBytes("HKEY_CLASSES_ROOT\\K\t=REG_DWORD\t  042x\n\xFF", entries);  // 39 bytes
    EXPECT_EQ(entries[0].present, 1);
    EXPECT_EQ(entries[0].dwordData, 42u);
    ApplySnapshotBytes(std::string(13, '\xFF'), entries);
    ApplySnapshotBytes("", entries);
    ApplySnapshotBytes("HKEY_CLASSES_ROOT\\K\t=REG_DWORD\t99999999999\n", entries);
    EXPECT_EQ(entries[0].dwordData, 4294967295u);
}

// A file of a complete line for K and the DWORD 4294967295 of L\N, cut at a
// block boundary right after the digits "4294967".
std::string CutInsideTheLastNumber() {
    const std::string last = "HKEY_CLASSES_ROOT\\L\tN=REG_DWORD\t4294967295\n";
    const size_t kept = last.find("4294967295") + 7;
    std::string first = "HKEY_CLASSES_ROOT\\K\t=REG_SZ\tv";
    while ((first.size() + 1 + kept) % 8 != 0) first += 'v';
    first += '\n';
    const std::string whole = EncipherSnapshot(first + last);
    return whole.substr(0, first.size() + kept);
}

TEST(SnapshotFile, AFileCutShortInsideItsLastLineKeepsOnlyTheWholeLines) {
    const std::string cut = CutInsideTheLastNumber();
    ASSERT_EQ(cut.size() % 8, 0u);
    ASSERT_EQ(DecipherSnapshot(cut).substr(DecipherSnapshot(cut).rfind('\t') + 1), "4294967");
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "L", "N")};
    const SnapshotApplied applied = ApplySnapshotBytes(cut, entries);
    EXPECT_EQ(entries[0].present, 1);
    EXPECT_EQ(entries[1].present, 0) << "restored as " << entries[1].dwordData;
    EXPECT_EQ(entries[1].dwordData, 0u);
    EXPECT_TRUE(applied.damagedEnd);
    EXPECT_EQ(applied.valuesSet, 1u);
}

TEST(SnapshotFile, APieceWithoutItsLineFeedIsIgnoredInEveryForm) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", "")};
    // Not whole blocks, parsed as they are.
    EXPECT_TRUE(ApplySnapshotBytes("HKEY_CLASSES_ROOT\\K\t=REG_DWORD\t  0042x\xFF", entries).damagedEnd);
    // Ended early by a zero byte.
    EXPECT_TRUE(ApplySnapshotBytes(EncipherSnapshot(std::string("HKEY_CLASSES_ROOT\\K\t=REG_SZ\tab") + '\0' + "c\n"),
                                   entries).damagedEnd);
    // Whole blocks without any line feed.
    EXPECT_TRUE(ApplySnapshotBytes(EncipherSnapshot("HKEY_CLASSES_ROOT\\K\t=REG_SZ\tv"), entries).damagedEnd);
    EXPECT_EQ(entries[0].present, 0);
}

TEST(SnapshotFile, WhatTheWriterProducesHasNoDamagedEnd) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "L", "N")};
    const std::vector<RegistryEntry> written = {Text(RegRoot::ClassesRoot, "K", "", "v\xFF\xFF"),
                                                Number(RegRoot::ClassesRoot, "L", "N", 4294967295u)};
    const SnapshotApplied applied = ApplySnapshotBytes(EncipherSnapshot(BuildSnapshotText(written)), entries);
    EXPECT_FALSE(applied.damagedEnd);
    EXPECT_EQ(applied.valuesSet, 2u);
    EXPECT_EQ(entries[0].stringData, "v\xFF\xFF");
    EXPECT_EQ(entries[1].dwordData, 4294967295u);
    EXPECT_FALSE(ApplySnapshotBytes("", entries).damagedEnd);
}

TEST(SnapshotFile, SplitFieldsDropsEmptyRuns) {
    EXPECT_EQ(SplitFields("==a\t=b==", "=\t"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(SplitFields("\n\n", "\n").empty());
}

TEST(KeyListEntries, DropRemovesOnlyTheFirstClassesDefaultValue) {
    std::vector<RegistryEntry> entries = {Entry(RegRoot::LocalMachine, "K", ""), Entry(RegRoot::ClassesRoot, "K", "N"),
                                          Entry(RegRoot::ClassesRoot, "K", ""), Entry(RegRoot::ClassesRoot, "K", "")};
    EXPECT_FALSE(DropEntry(entries, "Missing"));
    EXPECT_FALSE(DropEntry(entries, "k"));
    EXPECT_TRUE(DropEntry(entries, "K"));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].root, RegRoot::LocalMachine);
    EXPECT_EQ(entries[1].valueName, "N");
    EXPECT_EQ(entries[2].root, RegRoot::ClassesRoot);
}

}  // namespace

namespace {

TEST(SnapshotFile, OtherValueTypesTravelByteForByte) {
    RegistryEntry multi = Entry(RegRoot::ClassesRoot, "M", "");
    multi.present = 1;
    multi.valueType = kTypeRaw;
    multi.rawType = 7;
    multi.rawData = std::string("a\0b\0\0", 5);
    RegistryEntry big = Entry(RegRoot::ClassesRoot, "B", "v");
    big.present = 1;
    big.valueType = kTypeRaw;
    big.rawType = 1;
    big.rawData = std::string(5000, 'x') + '\0';
    EXPECT_EQ(*FormatEntryLine(multi), "HKEY_CLASSES_ROOT\\M\t=REG_RAW_HEX\t7:0x6100620000");
    const auto read = RoundTrip({multi, big});
    EXPECT_EQ(read[0].valueType, kTypeRaw);
    EXPECT_EQ(read[0].rawType, 7u);
    EXPECT_EQ(read[0].rawData, multi.rawData);
    EXPECT_EQ(read[1].rawData, big.rawData);

    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "M", "")};
    ApplySnapshotBytes("HKEY_CLASSES_ROOT\\M\t=REG_RAW_HEX\t:0x61\nHKEY_CLASSES_ROOT\\M\t=REG_RAW_HEX\tx:0x61\n"
                       "HKEY_CLASSES_ROOT\\M\t=REG_RAW_HEX\t99999999999:0x61\n",
                       entries);
    EXPECT_EQ(entries[0].present, 0);
}

}  // namespace

namespace {

TEST(SnapshotFile, ValuesKeptAsStoredTravelInTheirOwnLine) {
    // "Ωmega 中" and a string with a zero inside, as the registry stores them.
    const std::string greek("\xA9\x03m\0e\0g\0a\0 \0\x2D\x4E\0\0", 16);
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, ".accda", ""),
                                          Entry(RegRoot::ClassesRoot, ".accda", "Content Type")};
    const std::string text = "HKEY_CLASSES_ROOT\\.accda\t=REG_STORED_HEX\t1:0xA9036D006500670061002000" "2D4E0000\n"
                             "HKEY_CLASSES_ROOT\\.accda\tContent Type=REG_STORED_HEX\t2:0x61000000620000\n";
    ApplySnapshotBytes(EncipherSnapshot(text), entries);
    ASSERT_EQ(entries[0].present, 1);
    EXPECT_EQ(entries[0].valueType, kTypeStored);
    EXPECT_EQ(entries[0].rawType, 1u);
    EXPECT_EQ(entries[0].rawData, greek);
    EXPECT_EQ(entries[1].rawType, 2u);
    EXPECT_EQ(entries[1].rawData, std::string("a\0\0\0b\0\0", 7));  // odd length, zeros inside
    EXPECT_EQ(BuildSnapshotText(entries), text);

    const auto read = RoundTrip(entries);
    EXPECT_EQ(read[0].valueType, kTypeStored);
    EXPECT_EQ(read[0].rawData, greek);
    EXPECT_EQ(read[1].rawData, entries[1].rawData);

    // Bytes that are not hex, or no type, change nothing.
    std::vector<RegistryEntry> bad = {Entry(RegRoot::ClassesRoot, ".accda", "")};
    ApplySnapshotBytes(EncipherSnapshot("HKEY_CLASSES_ROOT\\.accda\t=REG_STORED_HEX\t1:0x6\n"
                                        "HKEY_CLASSES_ROOT\\.accda\t=REG_STORED_HEX\t0x6100\n"
                                        "HKEY_CLASSES_ROOT\\.accda\t=REG_STORED_HEX\t1:0xZZ00\n"),
                       bad);
    EXPECT_EQ(bad[0].present, 0);
}

TEST(SnapshotFile, FilesOfEarlierVersionsReadAsBefore) {
    // Lines written before values were kept as stored: each keeps its form.
    std::vector<RegistryEntry> entries = {Entry(RegRoot::ClassesRoot, "A", ""), Entry(RegRoot::ClassesRoot, "B", ""),
                                          Entry(RegRoot::ClassesRoot, "C", ""), Entry(RegRoot::ClassesRoot, "D", "")};
    ApplySnapshotBytes(EncipherSnapshot("HKEY_CLASSES_ROOT\\A\t=REG_SZ\tOmega ?\n"
                                        "HKEY_CLASSES_ROOT\\B\t=REG_RAW_HEX\t7:0x6100620000\n"
                                        "HKEY_CLASSES_ROOT\\C\t=REG_EXPAND_SZ_HEX\t0x\n"
                                        "HKEY_CLASSES_ROOT\\D\t=REG_DWORD\t12\n"),
                       entries);
    EXPECT_EQ(entries[0].valueType, kTypeString);
    EXPECT_EQ(entries[0].stringData, "Omega ?");
    EXPECT_EQ(entries[1].valueType, kTypeRaw);
    EXPECT_EQ(entries[1].rawType, 7u);
    EXPECT_EQ(entries[1].rawData, std::string("a\0b\0\0", 5));
    EXPECT_EQ(entries[2].valueType, kTypeExpandString);
    EXPECT_EQ(entries[2].stringData, "");
    EXPECT_EQ(entries[3].valueType, kTypeDword);
    EXPECT_EQ(entries[3].dwordData, 12u);
}

}  // namespace

namespace {

// What a launch of Access 2013 or later writes for its user travels in the
// journal with the values it found missing; only those values are removed.
TEST(UserPreparation, MissingValuesTravelAndOnlyTheUsersOwnAreRemoved) {
    const std::string location = TrustedLocationsKey("16.0") + "\\{0C2D6F6E-3F2B-4C47-9E1A-6A0B1C2D3E4F}";
    std::vector<RegistryEntry> written = UserPreparationEntries("16.0", location);
    written[0].missingKeys = 2;  // CurVer: Access.Application and CurVer were missing
    written[1].present = 1, written[1].valueType = kTypeDword;  // ShownFirstRunOptIn = 0
    written[2].missingKeys = 1;  // a new location; AllowSubfolders (written[3]) found nothing to record
    const std::string text = BuildSnapshotText(written);
    EXPECT_EQ(text, "HKEY_CURRENT_USER\\Software\\Classes\\Access.Application\\CurVer\t=REG_ABSENT\t2\n"
                    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Common\\General\tShownFirstRunOptIn=REG_DWORD\t0\n"
                    "HKEY_CURRENT_USER\\" + location + "\tPath=REG_ABSENT\t1\n");
    // The location's key is named only by the journal: its lines add entries
    // where the reader accepts user locations, and are refused elsewhere.
    std::vector<RegistryEntry> read = UserPreparationEntries("16.0", "");
    EXPECT_EQ(ApplySnapshotBytes(EncipherSnapshot(text), read, true).valuesSet, 3u);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(std::tuple(read[0].present, read[0].missingKeys, read[1].present, read[1].missingKeys), std::tuple(0, 2, 1, -1));
    EXPECT_EQ(std::tuple(read[2].keyPath, read[2].valueName, read[2].missingKeys, read[2].removeWhenAbsent),
              std::tuple(location, std::string("Path"), 1, 1));
    read = UserPreparationEntries("16.0", "");
    EXPECT_EQ(ApplySnapshotBytes(EncipherSnapshot(text), read, false).refused.size(), 1u);
    // An absence named for a catalogue value, another value of a location,
    // a deeper key or the 14.0 container is refused.
    std::vector<RegistryEntry> catalogue = {Entry(RegRoot::ClassesRoot, "Access.Application\\CurVer", "")};
    const SnapshotApplied applied = ApplySnapshotBytes(
        EncipherSnapshot("HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_ABSENT\t0\n"
                         "HKEY_CURRENT_USER\\" + location + "\tDescription=REG_ABSENT\t1\n"
                         "HKEY_CURRENT_USER\\" + location + "\\Deeper\tPath=REG_ABSENT\t1\n"
                         "HKEY_CURRENT_USER\\" + TrustedLocationsKey("14.0") + "\\L\tPath=REG_ABSENT\t1\n"),
        catalogue, true);
    EXPECT_EQ(std::tuple(applied.valuesSet, applied.refused.size(), catalogue.size(), catalogue[0].missingKeys),
              std::tuple(0u, 4u, 1u, -1));
}

}  // namespace
