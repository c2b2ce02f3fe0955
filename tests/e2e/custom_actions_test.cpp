// The custom actions as Windows Installer runs them: test packages installed
// silently with msiexec, checked through the final properties in the verbose
// log and the files the actions leave behind.
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/handles.h"
#include "tests/support/harness.h"

namespace {

// Where the stand-in SetACL is placed in the scenarios that run it.
const std::string kScenarioDir = "C:\\BrisoldeScenario";
// Where Windows Installer puts a package of this build's width.
const std::string kProgramFiles = std::string("C:\\") + TARNWICK_PROGRAM_FILES;
std::string TarnwickPackagePath() { return BinDir() + TARNWICK_PACKAGE_FILE; }
const std::string kToolPath = kScenarioDir + "\\Temp\\ZQS1A2B.tmp";
const std::string kAceArguments = " -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"";

std::string PackagePath(const std::string& name) { return BinDir() + "ca-packages\\" + name; }

long Run(const std::string& commandLine) {
    RunningProcess process = StartProcess(commandLine);
    return WaitForExit(process, 180000);
}

// "<prefix><name><separator><value>" lines of a text as a map.
using Properties = std::map<std::string, std::string>;

Properties LinesOf(const std::string& text, const std::string& prefix, const std::string& separator) {
    Properties values;
    size_t at = 0;
    while ((at = text.find(prefix, at)) != std::string::npos) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at + prefix.size(), end - at - prefix.size());
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t split = line.find(separator);
        if (split != std::string::npos) values[line.substr(0, split)] = line.substr(split + separator.size());
        at = end + 1;
    }
    return values;
}

struct InstallResult {
    long exitCode = -1;
    Properties properties;
    std::string log;  // the whole verbose log
};

// The verbose log of each installation, in the temporary folder.
const char kInstallLogName[] = "brisolde-test-install.log";

InstallResult Install(const std::string& package, const std::string& arguments) {
    const std::string log = TempDir() + kInstallLogName;
    DeleteFileA(log.c_str());
    InstallResult result;
    result.exitCode = Run("msiexec.exe /i \"" + package + "\" /qn /l*v \"" + log + "\" " + arguments);
    result.log = ReadFileBytes(log);
    // The verbose log ends with the final properties; one set to the empty
    // text is not listed.
    result.properties = LinesOf(result.log, "Property(S): ", " = ");
    return result;
}

enum class LineMatch { Contains, EndsWith };

// Whether the verbose log holds a line with the text (or ending in it); the
// failure message shows the lines the actions wrote.
::testing::AssertionResult LogHasLine(const std::string& log, const std::string& text,
                                      LineMatch match = LineMatch::Contains) {
    for (size_t at = 0; at < log.size();) {
        size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t found = line.find(text);
        if (found != std::string::npos && (match == LineMatch::Contains || found + text.size() == line.size()))
            return ::testing::AssertionSuccess();
        at = end + 1;
    }
    std::string ours;
    for (const char* action : {"RemoveBackSlashFromInstallDir: ", "ExtractSetAclFromBinaryTable: ",
                               "AddUsersFullControlToAcl: "}) {
        for (size_t at = 0; (at = log.find(action, at)) != std::string::npos; ++at)
            ours += "\n  " + log.substr(at, log.find('\n', at) - at);
    }
    return ::testing::AssertionFailure() << "no line with \"" << text << "\" in the log; the actions wrote:" << ours;
}

long Uninstall(const std::string& package) { return Run("msiexec.exe /x \"" + package + "\" /qn"); }

// Installs a test package with the given properties and removes it again,
// so that every case starts from a machine without it.
InstallResult InstallAndRemoveLogged(const std::string& package, const std::string& arguments) {
    InstallResult result = Install(PackagePath(package), arguments);
    EXPECT_EQ(result.exitCode, ERROR_SUCCESS) << package << " " << arguments;
    EXPECT_EQ(Uninstall(PackagePath(package)), ERROR_SUCCESS) << package;
    return result;
}

Properties InstallAndRemove(const std::string& package, const std::string& arguments) {
    return InstallAndRemoveLogged(package, arguments).properties;
}

std::string PropertyOr(const Properties& properties, const std::string& name, const std::string& absent) {
    const auto found = properties.find(name);
    return found == properties.end() ? absent : found->second;
}


// ---------------------------------------------------------------------------
// RemoveBackSlashFromInstallDir

TEST(RemoveBackSlashFromInstallDir, PublishesTheFolderWithAndWithoutItsLastCharacter) {
    // The package's own name: "[INSTALLDIR]", resolved by the installer.
    Properties p = InstallAndRemove("ca_test.msi", "");
    EXPECT_EQ(PropertyOr(p, "INSTALLDIR", "absent"), kProgramFiles + "\\Brisolde Test\\");
    EXPECT_EQ(PropertyOr(p, "MainDir", "absent"), kProgramFiles + "\\Brisolde Test\\");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", "absent"), kProgramFiles + "\\Brisolde Test");

    // A folder without a final backslash still loses its last character,
    // and the enclosing characters need not be brackets.
    p = InstallAndRemove("ca_test.msi", "TESTNAME=\"(FOLDER)\" FOLDER=\"C:\\Data\\App\"");
    EXPECT_EQ(PropertyOr(p, "MainDir", "absent"), "C:\\Data\\App");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", "absent"), "C:\\Data\\Ap");
}

TEST(RemoveBackSlashFromInstallDir, EmptyFolderGivesTwoEmptyProperties) {
    // Both marks are gone: the properties were set to the empty text.
    const Properties p = InstallAndRemove("ca_test.msi", "TESTNAME=\"[NOSUCHFOLDER]\"");
    EXPECT_EQ(PropertyOr(p, "MainDir", "absent"), "absent");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", "absent"), "absent");
}

TEST(RemoveBackSlashFromInstallDir, NameOfFewerThanTwoCharactersSetsNothing) {
    for (const char* arguments : {"TESTNAME=X", "TESTNAME=\"[]\"", "DROPNAME=1"}) {
        const Properties p = InstallAndRemove("ca_test.msi", arguments);
        EXPECT_EQ(PropertyOr(p, "MainDir", "absent"), "unset") << arguments;
        EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", "absent"), "unset") << arguments;
    }
}

// ---------------------------------------------------------------------------
// ExtractSetAclFromBinaryTable

// The temporary file the action named, which must be a new ZQS*.tmp file in
// the temporary folder.
std::string ExtractedFile(const Properties& p) {
    const std::string path = PropertyOr(p, "SetAclTempPath", "");
    const std::string temp = TempDir();
    EXPECT_EQ(path.substr(0, temp.size() + 3), temp + "ZQS") << path;
    EXPECT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".tmp") << path;
    return path;
}

TEST(ExtractSetAclFromBinaryTable, RowLandsInTheFileExactly) {
    // Around the 16 MiB read size: one short read; one full read and one of
    // nothing; one full read and one of a single byte.
    for (const char* size : {"3000", "16777215", "16777216", "16777217"}) {
        const Properties p = InstallAndRemove(std::string("ca_stream_") + size + ".msi", "EXTRACT=1");
        const std::string path = ExtractedFile(p);
        const std::string expected = ReadFileBytes(PackagePath(std::string("stream_") + size + ".bin"));
        ASSERT_EQ(expected.size(), strtoul(size, nullptr, 10));
        const std::string actual = ReadFileBytes(path);
        EXPECT_EQ(actual.size(), expected.size()) << size;
        EXPECT_TRUE(actual == expected) << "the bytes differ for " << size;
        DeleteFileA(path.c_str());
    }
}

TEST(ExtractSetAclFromBinaryTable, MissingOrEmptyRowLeavesTheFileEmpty) {
    for (const char* package : {"ca_test.msi", "ca_stream_empty.msi"}) {
        const Properties p = InstallAndRemove(package, "EXTRACT=1");
        const std::string path = ExtractedFile(p);
        EXPECT_TRUE(PathExists(path)) << package;
        EXPECT_EQ(ReadFileBytes(path).size(), 0u) << package;
        DeleteFileA(path.c_str());
    }
}

// ---------------------------------------------------------------------------
// AddUsersFullControlToAcl, with the stand-in SetACL at kToolPath: a program
// that leaves a record when it runs, which the action must never start. It
// runs as the installer (SYSTEM in a per-machine install) and the file sits
// where the installing user can replace it.

class AddUsersFullControlToAclTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirs(kScenarioDir + "\\Temp");
        MakeDirs(kObject);
        DeleteFileA(kToolPath.c_str());
        DeleteFileA(Record().c_str());
    }
    void TearDown() override {
        DeleteFileA(kToolPath.c_str());
        DeleteFileA(Record().c_str());
    }
    static inline const std::string kObject = kScenarioDir + "\\App";
    static std::string Record() { return kToolPath + ".txt"; }
    static void PlaceStandIn() {
        ASSERT_TRUE(CopyFileA((BinDir() + "fake_setacl.exe").c_str(), kToolPath.c_str(), FALSE));
    }
    static std::string RunWith(const std::string& customActionData) {
        return InstallAndRemoveLogged("ca_test.msi", "TESTDATA=\"" + customActionData + "\"").log;
    }
    // The stand-in writes its record after a pause: give one that was
    // started and not waited for the time to write it.
    static bool ToolRan() {
        Sleep(kStandInPauseMs);
        return PathExists(Record());
    }
    static constexpr DWORD kStandInPauseMs = 2000;
};

const std::string kGranted = "AddUsersFullControlToAcl: the Users group has full control of ";

TEST_F(AddUsersFullControlToAclTest, GrantsInProcessNeverStartsTheToolAndDeletesIt) {
    PlaceStandIn();
    const std::string log = RunWith(kObject + "|" + kToolPath);
    EXPECT_FALSE(ToolRan()) << "the tool file was started: " << ReadFileBytes(Record());
    EXPECT_TRUE(LogHasLine(log, kGranted + kObject));
    EXPECT_FALSE(PathExists(kToolPath)) << "the tool file was not deleted";
}

TEST_F(AddUsersFullControlToAclTest, ExtraSeparatorsGiveTheSameFields) {
    for (const std::string& data : {"|" + kObject + "|" + kToolPath, kObject + "||" + kToolPath,
                                    "||" + kObject + "|||" + kToolPath + "|", kObject + "|" + kToolPath + "|C:\\Other"}) {
        PlaceStandIn();
        const std::string log = RunWith(data);
        EXPECT_TRUE(LogHasLine(log, kGranted + kObject, LineMatch::EndsWith)) << data;
        EXPECT_FALSE(PathExists(kToolPath)) << data;
        EXPECT_FALSE(PathExists(Record())) << data;
    }
}

TEST_F(AddUsersFullControlToAclTest, FewerThanTwoFieldsStartAndDeleteNothing) {
    PlaceStandIn();
    for (const std::string& data : {std::string(), "|" + kToolPath + "|", std::string("||")}) {
        const std::string log = RunWith(data);
        EXPECT_FALSE(PathExists(Record())) << data;
        EXPECT_TRUE(PathExists(kToolPath)) << data;
        EXPECT_TRUE(LogHasLine(log, "AddUsersFullControlToAcl: CustomActionData \"" + data +
                                        "\" does not name an object and a tool file"))
            << data;
    }
}

TEST_F(AddUsersFullControlToAclTest, ToolThatCannotStartIsStillDeleted) {
    WriteFileBytes(kToolPath, "");  // as left by an extraction from a package without the tool
    RunWith("C:\\Data|" + kToolPath);
    EXPECT_FALSE(PathExists(kToolPath));
}

TEST_F(AddUsersFullControlToAclTest, FolderWithAFinalBackslashIsGranted) {
    PlaceStandIn();
    const std::string log = RunWith(kObject + "\\|" + kToolPath);
    EXPECT_TRUE(LogHasLine(log, kGranted + kObject + "\\", LineMatch::EndsWith));
    EXPECT_FALSE(ToolRan());
}

TEST_F(AddUsersFullControlToAclTest, PathWithAQuoteStartsNothing) {
    PlaceStandIn();
    const InstallResult result = InstallAndRemoveLogged("ca_test.msi", "QUOTEDTOOL=\"" + kToolPath + "\"");
    const Properties& p = result.properties;
    ASSERT_EQ(PropertyOr(p, "CustomActionData", ""), "C:\\Data\" -actn setowner -ownr \"n:S-1-1-0|" + kToolPath);
    EXPECT_FALSE(ToolRan()) << "a path with a quote reached the tool: " << ReadFileBytes(Record());
    EXPECT_FALSE(PathExists(kToolPath));
    // No such object: the grant fails, and says so.
    EXPECT_TRUE(LogHasLine(result.log, "AddUsersFullControlToAcl: giving the Users group full control of C:\\Data\" "
                                       "-actn setowner -ownr \"n:S-1-1-0 failed: Windows error "));
}

// Every failure leaves one line in the verbose log naming the action, the
// object and the Windows error; the installation still succeeds.
TEST_F(AddUsersFullControlToAclTest, FailuresAreLoggedWithObjectAndError) {
    // A missing object, with the characters that mean something in a
    // record's template: they stand for themselves in the line.
    const std::string missing = kScenarioDir + "\\Missing [Data] {1}";
    WriteFileBytes(kToolPath, "");
    std::string log = RunWith(missing + "|" + kToolPath);
    EXPECT_TRUE(LogHasLine(log, "AddUsersFullControlToAcl: giving the Users group full control of " + missing +
                                    " failed: Windows error " + std::to_string(ERROR_FILE_NOT_FOUND),
                           LineMatch::EndsWith));
    // A tool path that names a folder: it is not a plain file, and stays.
    const std::string folder = kScenarioDir + "\\ToolFolder";
    MakeDirs(folder);
    WriteFileBytes(folder + "\\inside.txt", "kept");
    log = RunWith(kObject + "|" + folder);
    EXPECT_TRUE(LogHasLine(log, "AddUsersFullControlToAcl: "));
    EXPECT_TRUE(LogHasLine(log, "(" + folder + "): Windows error "));
    EXPECT_EQ(ReadFileBytes(folder + "\\inside.txt"), "kept");
    // A tool file that is already gone.
    log = RunWith(kObject + "|" + kToolPath + ".gone");
    EXPECT_TRUE(LogHasLine(log, "AddUsersFullControlToAcl: opening the tool file failed (" + kToolPath +
                                    ".gone): Windows error " + std::to_string(ERROR_FILE_NOT_FOUND)));
}

TEST(ExtractSetAclFromBinaryTable, MissingRowIsLogged) {
    const InstallResult result = InstallAndRemoveLogged("ca_test.msi", "EXTRACT=1");
    EXPECT_TRUE(LogHasLine(result.log, "ExtractSetAclFromBinaryTable: the package has no Binary row SetAcl"));
    EXPECT_TRUE(LogHasLine(result.log, "Windows error " + std::to_string(ERROR_NO_MORE_ITEMS)));
    DeleteFileA(PropertyOr(result.properties, "SetAclTempPath", "").c_str());
}

TEST(RemoveBackSlashFromInstallDir, NameThatNamesNoPropertyIsLogged) {
    const InstallResult result = InstallAndRemoveLogged("ca_test.msi", "TESTNAME=X");
    EXPECT_TRUE(LogHasLine(result.log, "RemoveBackSlashFromInstallDir: MainInstallDirPropName \"X\" names no folder "
                                       "property"));
}

// ---------------------------------------------------------------------------
// A program put in place of the extracted tool between the immediate and the
// deferred action, as the installing user can: the package's own
// tool_swapper action copies the stand-in over the file right after the
// extraction. It must never run, on install or on repair, and the grant is
// still made.

class ReplacedToolTest : public ::testing::Test {
protected:
    void SetUp() override { MakeDirs(kData); }
    static inline const std::string kData = kScenarioDir + "\\Data";
    static std::string Arguments() {
        return "EXTRACT=1 GRANTOBJECT=\"" + kData + "\" SWAPSOURCE=\"" + BinDir() + "fake_setacl.exe\"";
    }
    // Checks one run: the swap happened, the swapped-in program did not run,
    // its file is gone, and the grant was made.
    static void CheckRun(const InstallResult& run, const char* what) {
        EXPECT_EQ(run.exitCode, ERROR_SUCCESS) << what;
        const std::string tool = PropertyOr(run.properties, "SetAclTempPath", "");
        ASSERT_FALSE(tool.empty()) << what;
        EXPECT_EQ(PropertyOr(run.properties, "CustomActionData", ""), kData + "|" + tool) << what;
        ASSERT_TRUE(PathExists(tool + ".swapped")) << what << ": the file was not replaced, the case proves nothing";
        Sleep(2000);  // the stand-in writes its record after a pause
        EXPECT_FALSE(PathExists(tool + ".txt")) << what << ": the replaced file was started: "
                                                << ReadFileBytes(tool + ".txt");
        EXPECT_FALSE(PathExists(tool)) << what << ": the tool file was not deleted";
        EXPECT_TRUE(LogHasLine(run.log, kGranted + kData, LineMatch::EndsWith)) << what;
        DeleteFileA((tool + ".swapped").c_str());
        DeleteFileA((tool + ".txt").c_str());
    }
};

TEST_F(ReplacedToolTest, OnInstallIsNeverStarted) {
    const InstallResult installed = Install(PackagePath("ca_test.msi"), Arguments());
    CheckRun(installed, "install");
    EXPECT_EQ(Uninstall(PackagePath("ca_test.msi")), ERROR_SUCCESS);
}

TEST_F(ReplacedToolTest, OnRepairIsNeverStarted) {
    ASSERT_EQ(Install(PackagePath("ca_test.msi"), "").exitCode, ERROR_SUCCESS);
    const InstallResult repaired =
        Install(PackagePath("ca_test.msi"), "REINSTALL=ALL REINSTALLMODE=omus " + Arguments());
    CheckRun(repaired, "repair");
    EXPECT_EQ(Uninstall(PackagePath("ca_test.msi")), ERROR_SUCCESS);
}

// A package built before the grant moved in-process carries the tool as its
// SetAcl row: the row is still extracted and consumed, never run.
TEST_F(ReplacedToolTest, PackageWithASetAclRowStillGrantsAndRunsNothing) {
    const InstallResult installed =
        InstallAndRemoveLogged("ca_stream_3000.msi", "EXTRACT=1 GRANTOBJECT=\"" + kData + "\"");
    const std::string tool = PropertyOr(installed.properties, "SetAclTempPath", "");
    ASSERT_FALSE(tool.empty());
    EXPECT_FALSE(PathExists(tool)) << "the extracted tool file is left behind";
    EXPECT_TRUE(LogHasLine(installed.log, kGranted + kData, LineMatch::EndsWith));
}

// ---------------------------------------------------------------------------
// Tarnwick.msi

// Whether the DACL of the file or folder allows the Users group full control.
bool UsersHaveFullControl(const std::string& path) {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, descriptor.receive()) != ERROR_SUCCESS)
        return false;
    UniqueLocal<char*> text;
    std::string sddl;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.get(), SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, text.receive(), nullptr)) {
        sddl = text.get();
    }
    // Entries "(A;<inheritance>;FA;;;BU)", whatever their inheritance.
    for (size_t at = 0; (at = sddl.find("(A;", at)) != std::string::npos; ++at) {
        const size_t end = sddl.find(')', at);
        if (end != std::string::npos && end >= at + 11 && sddl.compare(end - 8, 8, ";FA;;;BU") == 0) return true;
    }
    return false;
}

// Whether this Wine keeps a DACL set on a folder, tried on a folder of our own.
bool FileSecurityIsKept() {
    const std::string probe = kScenarioDir + "\\AclProbe";
    MakeDirs(probe);
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    bool kept = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;BU)", SDDL_REVISION_1, descriptor.receive(),
                                                             nullptr)) {
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted);
        kept = SetNamedSecurityInfoA(const_cast<char*>(probe.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                     nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS &&
               UsersHaveFullControl(probe);
    }
    RemoveDirectoryA(probe.c_str());
    return kept;
}

// Users get full control of the Data folder the package creates for the
// database and its lock files, never of the folder that holds the launcher:
// there any user could replace Tarnwick.exe or plant a library beside it.
TEST(TarnwickPackage, InstallsGrantsOnTheDataFolderAndUninstallsSilently) {
    const std::string package = TarnwickPackagePath();
    const InstallResult installed = Install(package, "");
    ASSERT_EQ(installed.exitCode, ERROR_SUCCESS);
    const Properties& p = installed.properties;
    const std::string folder = PropertyOr(p, "INSTALLDIR", "");
    EXPECT_EQ(folder, kProgramFiles + "\\Tarnwick\\");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", ""), kProgramFiles + "\\Tarnwick");
    const std::string exe = folder + "Tarnwick.exe";
    ASSERT_TRUE(PathExists(exe));
    EXPECT_TRUE(ReadFileBytes(exe) == ReadFileBytes(BinDir() + "Tarnwick.exe")) << "the installed launcher differs";
    const std::string data = folder + "Data";
    EXPECT_TRUE(PathExists(data)) << "the package made no Data folder";

    const std::string tool = PropertyOr(p, "SetAclTempPath", "");
    ASSERT_FALSE(tool.empty());
    EXPECT_EQ(PropertyOr(p, "CustomActionData", ""), data + "|" + tool);
    EXPECT_FALSE(PathExists(tool)) << "the temporary tool file is left behind";
    // Wine keeps no file DACLs: the engine's own word is the action's line.
    EXPECT_TRUE(LogHasLine(installed.log, kGranted + data, LineMatch::EndsWith));
    EXPECT_FALSE(LogHasLine(installed.log, kGranted + folder.substr(0, folder.size() - 1), LineMatch::EndsWith))
        << "the launcher's own folder was opened to Users";
    // Read before the package goes, checked after: the removal is checked
    // whether or not this Wine can show the grant.
    const bool fileSecurityKept = FileSecurityIsKept();
    const bool dataGranted = fileSecurityKept && UsersHaveFullControl(data);
    const bool folderGranted = fileSecurityKept && UsersHaveFullControl(folder);

    EXPECT_EQ(Uninstall(package), ERROR_SUCCESS);
    EXPECT_FALSE(PathExists(exe));
    EXPECT_FALSE(PathExists(data));
    EXPECT_FALSE(PathExists(folder));
    const std::string productCode = PropertyOr(p, "ProductCode", "");
    ASSERT_FALSE(productCode.empty());
    EXPECT_EQ(MsiQueryProductStateA(productCode.c_str()), INSTALLSTATE_UNKNOWN);

    if (!fileSecurityKept) GTEST_SKIP() << "this Wine keeps no file DACLs: the Users entries cannot be read back";
    EXPECT_TRUE(dataGranted) << "Users were not given full control of " << data;
    EXPECT_FALSE(folderGranted) << "Users were given full control of " << folder;
}

// ---------------------------------------------------------------------------
// Upgrades in place

const char kUpgradeCode[] = "{6E0B3C52-8F1D-4B7A-9C24-3A5D7E1F0B61}";

// The product codes of every installed Tarnwick, of whatever version.
std::vector<std::string> InstalledTarnwicks() {
    std::vector<std::string> codes;
    char code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) codes.push_back(code);
    return codes;
}

std::string ProductInfo(const std::string& productCode, const char* property) {
    char value[MAX_PATH * 2] = "";
    DWORD size = sizeof value;
    return MsiGetProductInfoA(productCode.c_str(), property, value, &size) == ERROR_SUCCESS ? value : "";
}

// A value of the product's entry in Add/Remove Programs, as RawValue gives it.
std::string RemoveProgramsValue(const std::string& productCode, const std::string& name) {
    return RawValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode, name);
}

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// The ProductVersion a package declares.
std::string ProductVersionOf(const std::string& package) {
    MSIHANDLE database = 0, view = 0, record = 0;
    std::string version;
    if (MsiOpenDatabaseA(package.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewA(database, "SELECT `Value` FROM `Property` WHERE `Property`='ProductVersion'", &view) ==
            ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        char value[64] = "";
        DWORD size = sizeof value;
        if (MsiRecordGetStringA(record, 1, value, &size) == ERROR_SUCCESS) version = value;
    }
    for (const MSIHANDLE handle : {record, view, database})
        if (handle) MsiCloseHandle(handle);
    return version;
}


class TarnwickUpgradeTest : public ::testing::Test {
protected:
    const std::string folder = kProgramFiles + "\\Tarnwick\\";
    const std::string exe = folder + "Tarnwick.exe";
    const std::string database = folder + "Data\\Orders.mdb";
    const std::string databaseBytes = std::string("Standard Jet DB\0orders of the user", 35);

    void SetUp() override { ASSERT_TRUE(InstalledTarnwicks().empty()) << "a Tarnwick is installed before the test"; }
    void TearDown() override {
        for (const std::string& code : InstalledTarnwicks()) ::Run("msiexec.exe /x " + code + " /qn");
        DeleteFileA(database.c_str());
        RemoveDirectoryA((folder + "Data").c_str());
        RemoveDirectoryA(folder.c_str());
    }

    // Installs a package and checks that it is then the one Tarnwick there is.
    std::string InstallAsOnlyTarnwick(const std::string& package, const std::string& version) {
        const InstallResult installed = Install(package, "");
        EXPECT_EQ(installed.exitCode, ERROR_SUCCESS) << package;
        const std::string code = PropertyOr(installed.properties, "ProductCode", "");
        EXPECT_EQ(InstalledTarnwicks(), std::vector<std::string>{code}) << "after installing " << package;
        EXPECT_EQ(ProductInfo(code, INSTALLPROPERTY_VERSIONSTRING), version);
        EXPECT_EQ(RemoveProgramsValue(code, "DisplayVersion"), "REG_SZ:" + version);
        EXPECT_TRUE(ReadFileBytes(exe) == ReadFileBytes(BinDir() + "Tarnwick.exe")) << "the installed launcher differs";
        EXPECT_EQ(ReadFileBytes(database), databaseBytes) << "the user's database in the Data folder was not kept";
        EXPECT_TRUE(LogHasLine(installed.log, kGranted + folder + "Data", LineMatch::EndsWith));
        return code;
    }
};

// Version N, a rebuild of N, then N+1: one entry in Add/Remove Programs each
// time, the user's database in the Data folder kept; N again is refused; a
// repair puts back a deleted launcher; removal keeps the user's database
// and leaves nothing else.
TEST_F(TarnwickUpgradeTest, ReplacesEveryEarlierBuildRefusesADowngradeRepairsAndRemovesCleanly) {
    // The temporary folder's files, without the log the installations write there.
    const auto tempNames = [] {
        std::set<std::string> names = NamesIn(TempDir());
        names.erase(kInstallLogName);
        return names;
    };
    const std::set<std::string> tempBefore = tempNames();
    const std::string version = ProductVersionOf(TarnwickPackagePath());
    ASSERT_FALSE(version.empty());

    // N, and what Add/Remove Programs shows of it.
    const InstallResult first = Install(TarnwickPackagePath(), "");
    ASSERT_EQ(first.exitCode, ERROR_SUCCESS);
    const std::string firstCode = PropertyOr(first.properties, "ProductCode", "");
    ASSERT_EQ(InstalledTarnwicks(), std::vector<std::string>{firstCode});
    EXPECT_EQ(RemoveProgramsValue(firstCode, "DisplayName"), "REG_SZ:Tarnwick");
    EXPECT_EQ(RemoveProgramsValue(firstCode, "Publisher"), "REG_SZ:Tarnwick");
    EXPECT_EQ(RemoveProgramsValue(firstCode, "DisplayVersion"), "REG_SZ:" + version);
    EXPECT_NE(RemoveProgramsValue(firstCode, "Comments").find("Microsoft Access"), std::string::npos);
    const std::string icon = ProductInfo(firstCode, INSTALLPROPERTY_PRODUCTICON);
    EXPECT_EQ(ReadFileBytes(icon).substr(0, 4), std::string("\0\0\1\0", 4)) << "no icon for the product: " << icon;
    WriteFileBytes(database, databaseBytes);

    // The same version built again replaces it: a rebuild is never a second entry.
    const std::string rebuiltCode = InstallAsOnlyTarnwick(PackagePath("Tarnwick-rebuilt.msi"), version);
    EXPECT_NE(rebuiltCode, firstCode);
    EXPECT_EQ(RemoveProgramsValue(firstCode, "DisplayName"), "missing");

    // N+1, with the support link its build was given.
    const std::string nextVersion = ProductVersionOf(PackagePath("Tarnwick-next.msi"));
    ASSERT_NE(nextVersion, version);
    const std::string nextCode = InstallAsOnlyTarnwick(PackagePath("Tarnwick-next.msi"), nextVersion);
    EXPECT_EQ(RemoveProgramsValue(nextCode, "HelpLink"), "REG_SZ:https://support.example.test/tarnwick");
    EXPECT_EQ(RemoveProgramsValue(rebuiltCode, "DisplayName"), "missing");

    // N over N+1 is refused and changes nothing.
    const InstallResult downgrade = Install(TarnwickPackagePath(), "");
    EXPECT_NE(downgrade.exitCode, ERROR_SUCCESS) << "an older package was installed over a newer one";
    EXPECT_EQ(PropertyOr(downgrade.properties, "NEWERTARNWICKFOUND", ""), nextCode);
    EXPECT_EQ(InstalledTarnwicks(), std::vector<std::string>{nextCode});
    EXPECT_EQ(ProductInfo(nextCode, INSTALLPROPERTY_VERSIONSTRING), nextVersion);
    EXPECT_TRUE(PathExists(exe));

    // Repair.
    ASSERT_TRUE(DeleteFileA(exe.c_str()));
    // What "msiexec /fomus" asks for, as properties: Wine's msiexec /f gives
    // up before it repairs (exit code 69 with a package, 1 with a product code).
    EXPECT_EQ(Install(PackagePath("Tarnwick-next.msi"), "REINSTALL=ALL REINSTALLMODE=omus").exitCode, ERROR_SUCCESS);
    EXPECT_TRUE(ReadFileBytes(exe) == ReadFileBytes(BinDir() + "Tarnwick.exe")) << "repair did not put back the launcher";
    EXPECT_EQ(InstalledTarnwicks(), std::vector<std::string>{nextCode});

    // Removal: the user's database is theirs; nothing else stays.
    EXPECT_EQ(::Run("msiexec.exe /x " + nextCode + " /qn"), ERROR_SUCCESS);
    EXPECT_TRUE(InstalledTarnwicks().empty());
    EXPECT_EQ(RemoveProgramsValue(nextCode, "DisplayName"), "missing");
    EXPECT_FALSE(PathExists(exe));
    EXPECT_EQ(ReadFileBytes(database), databaseBytes) << "removal deleted the user's database";
    EXPECT_EQ(NamesIn(folder), (std::set<std::string>{".", "..", "Data"}));
    ASSERT_TRUE(DeleteFileA(database.c_str()));
    RemoveDirectoryA((folder + "Data").c_str());
    RemoveDirectoryA(folder.c_str());

    EXPECT_EQ(tempNames(), tempBefore) << "the installations left files in the temporary folder";
}

}  // namespace
