// Capture and restore: the snapshot file of the two modes, and the values put
// back around every launch.
#include "tests/support/harness.h"

#include "registry/snapshot.h"
#include "tests/support/registry_snapshot.h"

namespace {

using CaptureRestore = Scenario;

const std::string kCommon = "SOFTWARE\\Microsoft\\Office\\Common";
const std::string kIcon = "Access.MDBFile\\DefaultIcon";

// Catalogue values of every kind the file carries.
void SeedCatalogueValues() {
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.Application.10"));
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.11"));
    SetRawValue(HKEY_CLASSES_ROOT, ".accda", "Content Type", REG_SZ, Sz("application/x=y"));
    SetRawValue(HKEY_CLASSES_ROOT, kIcon, "", REG_EXPAND_SZ, Sz("%SystemRoot%\\msaccess.ico"));
    SetRawValue(HKEY_CLASSES_ROOT, "PipFile", "NoOpen", REG_SZ, Sz(""));
    SetRawValue(HKEY_CLASSES_ROOT, ".accdb", "", REG_BINARY, "\x01\x02");  // carried byte for byte
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 12);
}

std::vector<std::string> Lines(const std::string& text) { return SplitFields(text, "\n"); }

TEST_F(CaptureRestore, CaptureWritesTheHiddenFileOfThePresentCatalogueValues) {
    SeedCatalogueValues();
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE"), 0);
    const std::string file = TempDir() + "~ZQReg.dat";
    const DWORD attributes = GetFileAttributesA(file.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    const std::string bytes = ReadFileBytes(file);
    EXPECT_EQ(bytes.size() % 8, 0u);
    const auto lines = Lines(DecipherSnapshot(bytes));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.accda\tContent Type=REG_SZ_HEX\t0x6170706C69636174696F6E2F783D79"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\" + kIcon + "\t=REG_EXPAND_SZ\t%SystemRoot%\\msaccess.ico"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.mdb\t=REG_SZ\tAccess.Application.10"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\" + kCurVer + "\t=REG_SZ\tAccess.Application.11"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\PipFile\tNoOpen=REG_SZ_HEX\t0x",
                                            "HKEY_LOCAL_MACHINE\\" + kCommon + "\tLastAccessInstall=REG_DWORD\t12"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.accdb\t=REG_RAW_HEX\t3:0x0102"}));
    // One line per catalogue value that exists, in catalogue order.
    std::vector<std::string> expectedPaths;
    for (const auto& entry : CatalogueEntries()) {
        const std::string value = RawValue(entry.root == RegRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE,
                                           entry.keyPath, entry.valueName);
        if (value != "missing") expectedPaths.push_back(EntryLookupPath(entry));
    }
    ASSERT_EQ(lines.size(), expectedPaths.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto fields = SplitFields(lines[i], "=\t");
        const std::string lookup = fields.size() == 4 ? fields[0] + "\\" + fields[1] : fields[0];
        EXPECT_EQ(lookup, expectedPaths[i]);
    }
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Command line: -LOGGING -CAPTURE", "-capture", "Exiting Tarnwick"}));
}

TEST_F(CaptureRestore, RestorePutsTheValuesBackWithTheirTypesAndDeletesTheFile) {
    SeedCatalogueValues();
    EXPECT_EQ(RunTarnwick("-CAPTURE"), 0);
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.14"));
    RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".mdb", "");
    SetRawValue(HKEY_CLASSES_ROOT, kIcon, "", REG_SZ, Sz("changed"));
    SetRawValue(HKEY_CLASSES_ROOT, "PipFile", "NoOpen", REG_SZ, Sz("changed"));
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 14);
    SetRawValue(HKEY_CLASSES_ROOT, ".accdt", "", REG_SZ, Sz("created after the capture"));

    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.11");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, ".mdb", ""), "REG_SZ:Access.Application.10");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kIcon, ""), "REG_EXPAND_SZ:%SystemRoot%\\msaccess.ico");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, "PipFile", "NoOpen"), "REG_SZ:");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, ".accda", "Content Type"), "REG_SZ:application/x=y");
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall"), "REG_DWORD:12");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, ".accdt", ""), "REG_SZ:created after the capture");  // never deleted
    EXPECT_FALSE(PathExists(TempDir() + "~ZQReg.dat"));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-restore", "Exiting Tarnwick"}));
}

TEST_F(CaptureRestore, RestoreWithoutAFileWritesNothing) {
    SeedCatalogueValues();
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-RESTORE"), 0);
    EXPECT_TRUE(SameRegistryAs(before));
}

TEST_F(CaptureRestore, RestoreWithoutAFileLogsThatItPutBackNothing) {
    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-restore",
                                                 "Restore put back nothing: no usable snapshot file " + TempDir() +
                                                     "~ZQReg.dat (CreateFileA, Windows error 2)",
                                                 "Exiting Tarnwick"}));
}

TEST_F(CaptureRestore, RestoreOfAFileCutShortPutsBackItsWholeLinesAndSaysSo) {
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 14);
    const std::string whole = "HKEY_CLASSES_ROOT\\" + kCurVer + "\t=REG_SZ\tAccess.Application.11\n";
    const std::string cut = "HKEY_LOCAL_MACHINE\\" + kCommon + "\tLastAccessInstall=REG_DWORD\t4294967295\n";
    const size_t unpadded = whole.size() + cut.find("4294967295") + 7;
    const size_t padding = (8 - unpadded % 8) % 8;  // lengthens the whole line so that the cut falls on a block boundary
    const std::string text = whole.substr(0, whole.size() - 1) + std::string(padding, '1') + "\n" + cut;
    const std::string file = TempDir() + "~ZQReg.dat";
    WriteFileBytes(file, EncipherSnapshot(text).substr(0, unpadded + padding));
    EXPECT_EQ(RunTarnwick("-LOGGING -RESTORE"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.11" + std::string(padding, '1'));
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall"), "REG_DWORD:14");
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-restore",
                                                 "Restore ignored a damaged line: the snapshot file " + file +
                                                     " was cut short",
                                                 "Exiting Tarnwick"}));
}

TEST_F(CaptureRestore, CaptureAndRestoreTogetherRunOnlyTheCapture) {
    SeedCatalogueValues();
    EXPECT_EQ(RunTarnwick("-LOGGING -CAPTURE -RESTORE"), 0);
    EXPECT_TRUE(PathExists(TempDir() + "~ZQReg.dat"));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"-capture", "Exiting Tarnwick"}));
}

TEST_F(CaptureRestore, RestoreAsksUntilAccessHasEnded) {
    const std::string access = std::string(kScenarioRoot) + "\\Running\\MSACCESS.EXE";
    PlaceFakeProgram(access, {{"window", "now"}, {"lifetimeMs", "0"}});
    RunningProcess running = StartProcess("\"" + access + "\"");
    ReadRecord(access);
    EXPECT_EQ(RunTarnwick("-CAPTURE"), 0);

    const std::string record = TempDir() + "boxes.txt";
    RunningProcess launcher = StartTarnwick("-RESTORE");
    RunningProcess responder = StartResponder(launcher.pid, "OK", record, 20000, 2);
    EXPECT_EQ(WaitForExit(responder, 30000), 0) << "two boxes while Access runs";
    const std::string boxes = ReadFileBytes(record);
    EXPECT_NE(boxes.find("caption=MSAccess is running\ntext=Please close down Access and then click OK to continue.\n"
                         "icon=none\nbuttons=OK\nowner=TarnwickClass\n"),
              std::string::npos)
        << boxes;
    EXPECT_FALSE(PathExists(TempDir() + "~ZQReg.dat")) << "the registry is restored before the question";

    WaitForExit(running, 0);  // Access ends; one more OK lets the launcher go
    responder = StartResponder(launcher.pid, "OK", record, 20000, 1);
    WaitForExit(responder, 30000);
    EXPECT_EQ(WaitForExit(launcher, 30000), 0);
}

TEST_F(CaptureRestore, ALaunchPutsBackWhatChangedWhileAccessRan) {
    SeedCatalogueValues();
    InstallFullAccess(2002, {}, "", {},
                      {"HKEY_CLASSES_ROOT\\" + kCurVer + "||REG_SZ|Access.Application.12",
                       "HKEY_CLASSES_ROOT\\.mdb||DELETE|", "HKEY_CLASSES_ROOT\\" + kIcon + "||REG_SZ|plain now",
                       "HKEY_LOCAL_MACHINE\\" + kCommon + "|LastAccessInstall|REG_DWORD|12345",
                       "HKEY_CLASSES_ROOT\\.accdt||REG_SZ|new",
                       "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources|UILanguage|REG_DWORD|7"});
    const std::string before = DumpRegistry();
    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, ".accdt", ""), "REG_SZ:new");  // absent before: stays as Access left it
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources", "UILanguage"),
              "REG_DWORD:7");  // the 2007 language values are watched only when 2007 runs
    // Keys and values that did not exist before are left, as are the settings
    // the launcher makes for good; everything else is as it was.
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".accdt");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kAccessTypeLib.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Shared Tools");
    EXPECT_TRUE(SameRegistryAs(before));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Restoring registry keys", "Exiting application"}));
}

// Catalogue values whose text the ANSI code page cannot carry, and strings
// of shapes that text reads cannot take, each with the key it is under.
struct StoredSeed {
    const char* key;
    const char* name;
    DWORD type;
    std::string bytes;
};

const std::wstring kGreekAndChinese = L"C:\\\u03A9mega \u4E2D\\orders.mdb";

std::string Hex(const std::string& bytes) {
    std::string out;
    char digits[3];
    for (unsigned char b : bytes) snprintf(digits, sizeof digits, "%02X", b), out += digits;
    return out;
}

std::vector<StoredSeed> AwkwardValues() {
    return {
        {".accda", "", REG_SZ, Utf16(kGreekAndChinese + L'\0')},
        {".accda", "Content Type", REG_SZ, Utf16(std::wstring(L"abc\0def\0", 8))},  // a zero inside
        {".accdc", "", REG_EXPAND_SZ, Utf16(L"%ProgramFiles%\\\u4E2D\\a.accdc" + std::wstring(1, L'\0'))},
        {".accdc", "Content Type", REG_SZ, ""},                     // no bytes at all
        {".accde", "", REG_SZ, Utf16(L"no terminator")},
        {".accde", "Content Type", REG_SZ, std::string("odd", 3)},  // not even whole characters
        {".accdr", "", REG_MULTI_SZ, Utf16(std::wstring(L"\u03A9\0two\0\0", 7))},
        {".accdr", "Content Type", REG_SZ, Utf16(L"application/msaccess" + std::wstring(1, L'\0'))},
    };
}

TEST_F(CaptureRestore, CaptureThenRestorePutsBackTextInAnyScriptByteForByte) {
    const auto seeds = AwkwardValues();
    for (const auto& seed : seeds) SetStoredValue(HKEY_CLASSES_ROOT, seed.key, seed.name, seed.type, seed.bytes);
    EXPECT_EQ(RunTarnwick("-CAPTURE"), 0);
    const auto lines = Lines(DecipherSnapshot(ReadFileBytes(TempDir() + "~ZQReg.dat")));
    // Text the code page carries keeps its plain line; the rest is kept as stored.
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.accdr\tContent Type=REG_SZ\tapplication/msaccess"}));
    // Whatever the code page: a zero inside ASCII text travels in the ANSI
    // form older files have; no bytes, no terminator or half a character
    // only as stored.
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.accda\tContent Type=REG_RAW_HEX\t1:0x6162630064656600"}));
    EXPECT_TRUE(HasConsecutiveLines(lines, {"HKEY_CLASSES_ROOT\\.accdc\tContent Type=REG_STORED_HEX\t1:0x",
                                            "HKEY_CLASSES_ROOT\\.accde\t=REG_STORED_HEX\t1:0x" + Hex(seeds[4].bytes),
                                            "HKEY_CLASSES_ROOT\\.accde\tContent Type=REG_STORED_HEX\t1:0x6F6464"}));
    for (const auto& seed : seeds) SetRawValue(HKEY_CLASSES_ROOT, seed.key, seed.name, REG_SZ, Sz("changed"));
    RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".accdc", "");

    EXPECT_EQ(RunTarnwick("-RESTORE"), 0);
    for (const auto& seed : seeds) {
        SCOPED_TRACE(std::string(seed.key) + "|" + seed.name);
        EXPECT_EQ(StoredValue(HKEY_CLASSES_ROOT, seed.key, seed.name),
                  "type " + std::to_string(seed.type) + ":" + Hex(seed.bytes));
    }
    EXPECT_FALSE(PathExists(TempDir() + "~ZQReg.dat"));
}

TEST_F(CaptureRestore, ALaunchWritesNothingToValuesThatHoldWhatWasCaptured) {
    const auto seeds = AwkwardValues();
    for (const auto& seed : seeds) SetStoredValue(HKEY_CLASSES_ROOT, seed.key, seed.name, seed.type, seed.bytes);
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.12"));  // the preparation changes this one
    InstallFullAccess(2002);
    std::map<std::string, std::string> valuesBefore;
    std::map<std::string, ULONGLONG> writtenBefore;
    for (const auto& seed : seeds) {
        valuesBefore[std::string(seed.key) + "|" + seed.name] = StoredValue(HKEY_CLASSES_ROOT, seed.key, seed.name);
        writtenBefore[seed.key] = KeyWriteTime(HKEY_CLASSES_ROOT, seed.key);
    }
    const ULONGLONG curVerBefore = KeyWriteTime(HKEY_CLASSES_ROOT, kCurVer);
    Sleep(50);  // a write during the launch would get a later time

    EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
    for (const auto& seed : seeds) {
        const std::string value = std::string(seed.key) + "|" + seed.name;
        EXPECT_EQ(StoredValue(HKEY_CLASSES_ROOT, seed.key, seed.name), valuesBefore[value]) << value;
        EXPECT_NE(writtenBefore[seed.key], 0u);
        EXPECT_EQ(KeyWriteTime(HKEY_CLASSES_ROOT, seed.key), writtenBefore[seed.key]) << seed.key << " was written";
    }
    // A value that the launch did change is still put back.
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");
    EXPECT_GT(KeyWriteTime(HKEY_CLASSES_ROOT, kCurVer), curVerBefore);
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Restoring registry keys", "Exiting application"}));
}

TEST_F(CaptureRestore, Access2007LanguageValuesArePutBack) {
    const std::string languages = "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources";
    SetRawDword(HKEY_CURRENT_USER, languages, "UILanguage", 1031);
    SetRawValue(HKEY_CURRENT_USER, languages, "FollowSystemUI", REG_SZ, Sz("On"));
    InstallFullAccess(2007, {}, "", {},
                      {"HKEY_CURRENT_USER\\" + languages + "|UILanguage|REG_DWORD|1033",
                       "HKEY_CURRENT_USER\\" + languages + "|FollowSystemUI|REG_SZ|Off",
                       "HKEY_CURRENT_USER\\" + languages + "|HelpLanguage|REG_DWORD|1033"});
    EXPECT_EQ(RunTarnwick("x.mdb"), 0);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, languages, "UILanguage"), "REG_DWORD:1031");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, languages, "FollowSystemUI"), "REG_SZ:On");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, languages, "HelpLanguage"), "REG_DWORD:1033");  // was absent
}


// A 64-bit Microsoft 365 beside the 2002 runtime, registered as its
// installer registers it: the values of its own that a launch of the
// runtime must leave as they were, in the view each is in.
struct ViewedValue {
    HKEY root;
    std::string key, name;
    DWORD type;
    std::string data;
    REGSAM view;
};

std::vector<ViewedValue> Office365x64() {
    const std::string office = "C:\\Program Files\\Microsoft Office\\root\\Office16\\";
    const std::string clsid = "CLSID\\{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}";
    const std::string typeLib = kAccessTypeLib + "\\9.0";
    const std::string clickToRun = "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
    return {
        {HKEY_CLASSES_ROOT, "Access.Application.16", "", REG_SZ, Sz("Microsoft Access Application"), 0},
        {HKEY_CLASSES_ROOT, "Access.Application.16\\CLSID", "", REG_SZ, Sz(clsid.substr(6)), 0},
        {HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.16"), 0},
        {HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.MDBFile"), 0},
        {HKEY_CLASSES_ROOT, ".accdb", "", REG_SZ, Sz("Access.Application.16"), 0},
        {HKEY_CLASSES_ROOT, clsid + "\\LocalServer32", "", REG_SZ, Sz(office + "MSACCESS.EXE /Automation"),
         KEY_WOW64_64KEY},
        {HKEY_CLASSES_ROOT, typeLib, "", REG_SZ, Sz("Microsoft Access 16.0 Object Library"), 0},
        {HKEY_CLASSES_ROOT, typeLib + "\\FLAGS", "", REG_SZ, Sz("0"), 0},
        {HKEY_CLASSES_ROOT, typeLib + "\\HELPDIR", "", REG_SZ, Sz(office), 0},
        {HKEY_CLASSES_ROOT, typeLib + "\\0\\win64", "", REG_SZ, Sz(office + "MSACC.OLB"), 0},
        {HKEY_LOCAL_MACHINE, clickToRun, "Platform", REG_SZ, Sz("x64"), KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, clickToRun, "VersionToReport", REG_SZ, Sz("16.0.17531.20140"), KEY_WOW64_64KEY},
    };
}

// With the runtime's object library registered, the launch changes none of
// the 64-bit Office's values; with its registration removed (by another
// installer's repair), the launch registers the library for the run, which
// writes over the shared TypeLib version key: each value is put back, only
// the new "win32" value stays (it was not there to be saved).
TEST_F(CaptureRestore, A64BitOffice365KeepsEveryValueWhenTheRuntimeIsLaunched) {
    for (const bool registered : {true, false}) {
        SCOPED_TRACE(registered ? "runtime's object library registered" : "runtime's object library unregistered");
        KillStandIns();
        ResetRegistryToSnapshot(std::string(kTestStateDir) + "\\pristine.snap");
        const std::string runtime = InstallRuntime2002();
        const std::string win32 = kAccessTypeLib + "\\9.0\\0\\win32";
        const std::string library = runtime.substr(0, runtime.rfind('\\')) + "\\MSACC.OLB";
        if (registered) SetRawValue(HKEY_CLASSES_ROOT, win32, "", REG_SZ, Sz(library));
        const auto office = Office365x64();
        for (const auto& v : office) SetRawValue(v.root, v.key, v.name, v.type, v.data, v.view);
        std::map<std::string, std::string> seen;
        for (const auto& v : office) seen[v.key + "|" + v.name] = RawValue(v.root, v.key, v.name, v.view);
        const std::string before = DumpRegistry();

        EXPECT_EQ(RunTarnwick("-LOGGING x.mdb"), 0);
        EXPECT_EQ(ReadRecord(runtime)["exe"], runtime);
        for (const auto& v : office) {
            EXPECT_EQ(RawValue(v.root, v.key, v.name, v.view), seen[v.key + "|" + v.name]) << v.key << "|" << v.name;
        }
        const std::string registeredLibrary = RawValue(HKEY_CLASSES_ROOT, win32, "");
        EXPECT_EQ(lstrcmpiA(registeredLibrary.c_str(), ("REG_SZ:" + library).c_str()), 0) << registeredLibrary;
        // Both views whole, but for the new value and the launcher's lasting settings.
        if (!registered) RegDeleteTreeA(HKEY_CLASSES_ROOT, (kAccessTypeLib + "\\9.0\\0\\win32").c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Shared Tools");
        EXPECT_TRUE(SameRegistryAs(before));
    }
}

}  // namespace
