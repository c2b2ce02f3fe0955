// The snapshot tool against the launcher's own capture and restore, and
// against Wine's regedit, which reads the .reg text the tool writes.
#include "tests/support/harness.h"

#include "registry/snapshot.h"
#include "tests/support/registry_snapshot.h"

namespace {

using SnapshotTool = Scenario;

const std::string kCommon = "SOFTWARE\\Microsoft\\Office\\Common";
const std::string kIcon = "Access.MDBFile\\DefaultIcon";
constexpr long kDone = 0, kDamaged = 1, kDifferent = 3;

struct Seeded {
    HKEY root;
    std::string key, name;
};

// Catalogue values of every type a capture keeps, text beyond ASCII too.
std::vector<Seeded> SeedCatalogueValues() {
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.Application.10"));
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.11"));
    SetRawValue(HKEY_CLASSES_ROOT, ".accda", "Content Type", REG_SZ, Sz("application/x=y \"caf\xE9\" C:\\x"));
    SetRawValue(HKEY_CLASSES_ROOT, kIcon, "", REG_EXPAND_SZ, Sz("%SystemRoot%\\msaccess.ico"));
    SetRawValue(HKEY_CLASSES_ROOT, "PipFile", "NoOpen", REG_SZ, Sz(""));
    SetRawValue(HKEY_CLASSES_ROOT, ".accdb", "", REG_BINARY, "\x01\x02\xFF");
    SetRawValue(HKEY_CLASSES_ROOT, ".mde", "", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    SetRawValue(HKEY_CLASSES_ROOT, ".mda", "", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x88", 8));
    SetRawValue(HKEY_CLASSES_ROOT, ".ade", "", REG_SZ, Sz(std::string(5000, 'L')));  // longer than a text read
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 12);
    return {{HKEY_CLASSES_ROOT, ".mdb", ""},          {HKEY_CLASSES_ROOT, kCurVer, ""},
            {HKEY_CLASSES_ROOT, ".accda", "Content Type"}, {HKEY_CLASSES_ROOT, kIcon, ""},
            {HKEY_CLASSES_ROOT, "PipFile", "NoOpen"},   {HKEY_CLASSES_ROOT, ".accdb", ""},
            {HKEY_CLASSES_ROOT, ".mde", ""},            {HKEY_CLASSES_ROOT, ".mda", ""},
            {HKEY_CLASSES_ROOT, ".ade", ""},            {HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall"}};
}

std::vector<std::string> ValuesOf(const std::vector<Seeded>& seeded) {
    std::vector<std::string> values;
    for (const auto& value : seeded) values.push_back(RawValue(value.root, value.key, value.name));
    return values;
}

std::string SnapshotFile() { return TempDir() + "~ZQReg.dat"; }

// The tool run with the arguments, its standard output and error going to
// the file; its exit code, or -1 when it did not end in time.
long RunTool(const std::string& arguments, const std::string& outputFile = "") {
    const std::string output = outputFile.empty() ? TempDir() + "tool-output.txt" : outputFile;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFile file(CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file.get();
    startup.hStdError = file.get();
    std::string commandLine = "\"" + BinDir() + "tarnwick-snapshot.exe\" " + arguments;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    ProcessInformation started(info);
    RunningProcess tool(std::move(started.process), started.processId);
    return WaitForExit(tool, 60000);
}

long RunRegeditImport(const std::string& regFile) {
    RunningProcess regedit = StartProcess("regedit.exe /s \"" + regFile + "\"");
    return WaitForExit(regedit, 60000);
}

TEST_F(SnapshotTool, ACaptureDecodedAndImportedByRegeditGivesBackEveryValue) {
    const auto seeded = SeedCatalogueValues();
    ASSERT_EQ(RunTarnwick("-CAPTURE"), 0);
    const std::string before = DumpRegistry();
    const auto values = ValuesOf(seeded);

    const std::string regFile = std::string(kScenarioRoot) + "\\captured.reg";
    ASSERT_EQ(RunTool("decode \"" + SnapshotFile() + "\" \"" + regFile + "\""), kDone) << ReadFileBytes(TempDir() + "tool-output.txt");
    EXPECT_EQ(ReadFileBytes(regFile).substr(0, 2), "\xFF\xFE") << "regedit's own encoding by default";

    for (const auto& value : seeded) {
        UniqueKey key;
        ASSERT_EQ(RegOpenKeyExA(value.root, value.key.c_str(), 0, KEY_SET_VALUE, key.receive()), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueA(key.get(), value.name.c_str()), ERROR_SUCCESS) << value.key;
        ASSERT_EQ(RawValue(value.root, value.key, value.name), "missing");
    }
    ASSERT_EQ(RunRegeditImport(regFile), 0);
    EXPECT_EQ(ValuesOf(seeded), values);
    EXPECT_TRUE(SameRegistryAs(before));
}

TEST_F(SnapshotTool, AnEncodedTextIsPutBackByTheLaunchersRestore) {
    const auto seeded = SeedCatalogueValues();
    ASSERT_EQ(RunTarnwick("-CAPTURE"), 0);
    const std::string before = DumpRegistry();
    const auto values = ValuesOf(seeded);
    const std::string regFile = std::string(kScenarioRoot) + "\\captured.reg";
    ASSERT_EQ(RunTool("decode \"" + SnapshotFile() + "\" \"" + regFile + "\""), kDone);
    DeleteFileA(SnapshotFile().c_str());

    // Everything the launcher would change, changed.
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.14"));
    RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".mdb", "");
    SetRawValue(HKEY_CLASSES_ROOT, kIcon, "", REG_SZ, Sz("changed"));
    SetRawValue(HKEY_CLASSES_ROOT, ".mde", "", REG_SZ, Sz("changed"));
    SetRawValue(HKEY_CLASSES_ROOT, ".ade", "", REG_SZ, Sz("short now"));
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 14);

    ASSERT_EQ(RunTool("encode \"" + regFile + "\" \"" + SnapshotFile() + "\""), kDone)
        << ReadFileBytes(TempDir() + "tool-output.txt");
    ASSERT_EQ(RunTarnwick("-RESTORE"), 0);
    EXPECT_EQ(ValuesOf(seeded), values);
    EXPECT_FALSE(PathExists(SnapshotFile()));
    EXPECT_TRUE(SameRegistryAs(before));
}

TEST_F(SnapshotTool, EncodeTakesOnlyValuesTheLauncherCapturesAndSaysWhichItSkips) {
    const std::string regFile = std::string(kScenarioRoot) + "\\hand.reg";
    WriteFileBytes(regFile,
                   "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\Access.Application\\CurVer]\r\n"
                   "@=\"Access.Application.12\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Unwatched]\r\n\"Setting\"=dword:00000001\r\n");
    const std::string output = TempDir() + "encode.txt";
    ASSERT_EQ(RunTool("encode \"" + regFile + "\" \"" + SnapshotFile() + "\"", output), kDone);
    EXPECT_NE(ReadFileBytes(output).find("[HKEY_CURRENT_USER\\Software\\Unwatched] \"Setting\" is not a value the launcher "
                                         "captures: skipped"),
              std::string::npos)
        << ReadFileBytes(output);
    ASSERT_EQ(RunTarnwick("-RESTORE"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Unwatched", "Setting"), "missing");
}

TEST_F(SnapshotTool, DiffListsTheValuesChangedSinceTheCapture) {
    SeedCatalogueValues();
    ASSERT_EQ(RunTarnwick("-CAPTURE"), 0);
    const std::string output = TempDir() + "diff.txt";
    EXPECT_EQ(RunTool("diff \"" + SnapshotFile() + "\"", output), kDone) << ReadFileBytes(output);
    EXPECT_EQ(ReadFileBytes(output), "");

    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.14"));
    RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".mdb", "");
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 14);
    EXPECT_EQ(RunTool("diff \"" + SnapshotFile() + "\"", output), kDifferent);
    const auto lines = SplitFields(ReadFileBytes(output), "\r\n");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "HKEY_CLASSES_ROOT\\.mdb\t@\t\"Access.Application.10\"\t(absent)",
                         "HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t@\t\"Access.Application.11\"\t\"Access.Application.14\"",
                         "HKEY_LOCAL_MACHINE\\" + kCommon + "\tLastAccessInstall\tdword:0000000c\tdword:0000000e",
                     }));
}

TEST_F(SnapshotTool, ADamagedFileIsNamedAndEndsTheRunWithAFailure) {
    WriteFileBytes(SnapshotFile(), std::string(13, '\x01'));
    const std::string output = TempDir() + "damaged.txt";
    EXPECT_EQ(RunTool("decode \"" + SnapshotFile() + "\"", output), kDamaged);
    EXPECT_NE(ReadFileBytes(output).find("not a whole number of 8-byte blocks"), std::string::npos) << ReadFileBytes(output);
    EXPECT_EQ(RunTool("diff \"" + SnapshotFile() + "\"", output), kDamaged);
}

}  // namespace
