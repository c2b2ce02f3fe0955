// The custom actions as Windows Installer runs them: test packages installed
// silently with msiexec, checked through the final properties in the verbose
// log and the files the actions leave behind.
#include <aclapi.h>
#include <msi.h>
#include <sddl.h>

#include <cstdlib>
#include <map>
#include <string>

#include "common/handles.h"
#include "tests/support/harness.h"

namespace {

// Where the stand-in SetACL is placed in the scenarios that run it.
const std::string kScenarioDir = "C:\\BrisoldeScenario";
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
};

InstallResult Install(const std::string& package, const std::string& arguments) {
    const std::string log = TempDir() + "brisolde-test-install.log";
    DeleteFileA(log.c_str());
    InstallResult result;
    result.exitCode = Run("msiexec.exe /i \"" + package + "\" /qn /l*v \"" + log + "\" " + arguments);
    // The verbose log ends with the final properties; one set to the empty
    // text is not listed.
    result.properties = LinesOf(ReadFileBytes(log), "Property(S): ", " = ");
    return result;
}

long Uninstall(const std::string& package) { return Run("msiexec.exe /x \"" + package + "\" /qn"); }

// Installs a test package with the given properties and removes it again,
// so that every case starts from a machine without it.
Properties InstallAndRemove(const std::string& package, const std::string& arguments) {
    const InstallResult result = Install(PackagePath(package), arguments);
    EXPECT_EQ(result.exitCode, ERROR_SUCCESS) << package << " " << arguments;
    EXPECT_EQ(Uninstall(PackagePath(package)), ERROR_SUCCESS) << package;
    return result.properties;
}

std::string PropertyOr(const Properties& properties, const std::string& name, const std::string& absent) {
    const auto found = properties.find(name);
    return found == properties.end() ? absent : found->second;
}

// What the stand-in SetACL recorded when it was started as the tool path.
Properties ReadRecord(const std::string& toolPath) { return LinesOf(ReadFileBytes(toolPath + ".txt"), "", "="); }

// ---------------------------------------------------------------------------
// RemoveBackSlashFromInstallDir

TEST(RemoveBackSlashFromInstallDir, PublishesTheFolderWithAndWithoutItsLastCharacter) {
    // The package's own name: "[INSTALLDIR]", resolved by the installer.
    Properties p = InstallAndRemove("ca_test.msi", "");
    EXPECT_EQ(PropertyOr(p, "INSTALLDIR", "absent"), "C:\\Program Files\\Brisolde Test\\");
    EXPECT_EQ(PropertyOr(p, "MainDir", "absent"), "C:\\Program Files\\Brisolde Test\\");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", "absent"), "C:\\Program Files\\Brisolde Test");

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
// AddUsersFullControlToAcl, with the stand-in SetACL at kToolPath

class AddUsersFullControlToAclTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirs(kScenarioDir + "\\Temp");
        DeleteFileA(kToolPath.c_str());
        DeleteFileA(Record().c_str());
    }
    void TearDown() override {
        DeleteFileA(kToolPath.c_str());
        DeleteFileA(Record().c_str());
    }
    static std::string Record() { return kToolPath + ".txt"; }
    static void PlaceStandIn() {
        ASSERT_TRUE(CopyFileA((BinDir() + "fake_setacl.exe").c_str(), kToolPath.c_str(), FALSE));
    }
    static void RunWith(const std::string& customActionData) {
        InstallAndRemove("ca_test.msi", "TESTDATA=\"" + customActionData + "\"");
    }
};

TEST_F(AddUsersFullControlToAclTest, StartsTheQuotedCommandWaitsAndDeletesTheTool) {
    PlaceStandIn();
    RunWith("C:\\Data|" + kToolPath);
    // The stand-in writes its record only after a pause: it is there when
    // the install has ended only if the action waited for the tool.
    ASSERT_TRUE(PathExists(Record())) << "the tool did not run, or was not waited for";
    auto record = ReadRecord(kToolPath);
    EXPECT_EQ(record["commandline"], "\"" + kToolPath + "\" -on \"C:\\Data\"" + kAceArguments);
    EXPECT_EQ(record["argc"], "9");
    EXPECT_EQ(record["arg1"], "-on");
    EXPECT_EQ(record["arg2"], "C:\\Data");
    EXPECT_EQ(record["arg8"], "n:S-1-5-32-545;p:full;s:y");
    EXPECT_EQ(record["show"], std::to_string(SW_MINIMIZE));
    EXPECT_FALSE(PathExists(kToolPath)) << "the tool file was not deleted";
}

TEST_F(AddUsersFullControlToAclTest, ExtraSeparatorsGiveTheSameFields) {
    const std::string expected = "\"" + kToolPath + "\" -on \"C:\\Program Files\\App\"" + kAceArguments;
    for (const std::string& data :
         {"|C:\\Program Files\\App|" + kToolPath, "C:\\Program Files\\App||" + kToolPath,
          "||C:\\Program Files\\App|||" + kToolPath + "|", "C:\\Program Files\\App|" + kToolPath + "|C:\\Other"}) {
        PlaceStandIn();
        RunWith(data);
        EXPECT_EQ(ReadRecord(kToolPath)["commandline"], expected) << data;
        EXPECT_FALSE(PathExists(kToolPath)) << data;
        DeleteFileA(Record().c_str());
    }
}

TEST_F(AddUsersFullControlToAclTest, FewerThanTwoFieldsStartAndDeleteNothing) {
    PlaceStandIn();
    for (const std::string& data : {std::string(), "|" + kToolPath + "|", std::string("||")}) {
        RunWith(data);
        EXPECT_FALSE(PathExists(Record())) << data;
        EXPECT_TRUE(PathExists(kToolPath)) << data;
    }
}

TEST_F(AddUsersFullControlToAclTest, ToolThatCannotStartIsStillDeleted) {
    WriteFileBytes(kToolPath, "");  // as left by an extraction from a package without the tool
    RunWith("C:\\Data|" + kToolPath);
    EXPECT_FALSE(PathExists(kToolPath));
}

TEST_F(AddUsersFullControlToAclTest, FolderWithAFinalBackslashReachesTheToolWhole) {
    PlaceStandIn();
    RunWith("C:\\Program Files\\App\\|" + kToolPath);
    auto record = ReadRecord(kToolPath);
    EXPECT_EQ(record["commandline"], "\"" + kToolPath + "\" -on \"C:\\Program Files\\App\\\\\"" + kAceArguments);
    EXPECT_EQ(record["argc"], "9");
    EXPECT_EQ(record["arg2"], "C:\\Program Files\\App\\");
    EXPECT_EQ(record["arg3"], "-ot");
}

TEST_F(AddUsersFullControlToAclTest, PathWithAQuoteStartsNothing) {
    PlaceStandIn();
    const Properties p = InstallAndRemove("ca_test.msi", "QUOTEDTOOL=\"" + kToolPath + "\"");
    ASSERT_EQ(PropertyOr(p, "CustomActionData", ""), "C:\\Data\" -actn setowner -ownr \"n:S-1-1-0|" + kToolPath);
    EXPECT_FALSE(PathExists(Record())) << "a path with a quote reached the tool: " << ReadFileBytes(Record());
    EXPECT_FALSE(PathExists(kToolPath));
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

TEST(TarnwickPackage, InstallsGrantsAndUninstallsSilently) {
    const std::string package = BinDir() + "Tarnwick.msi";
    const InstallResult installed = Install(package, "");
    ASSERT_EQ(installed.exitCode, ERROR_SUCCESS);
    const Properties& p = installed.properties;
    const std::string folder = PropertyOr(p, "INSTALLDIR", "");
    EXPECT_EQ(folder, "C:\\Program Files\\Tarnwick\\");
    EXPECT_EQ(PropertyOr(p, "MainDir_NoBackSlash", ""), "C:\\Program Files\\Tarnwick");
    const std::string exe = folder + "Tarnwick.exe";
    ASSERT_TRUE(PathExists(exe));
    EXPECT_TRUE(ReadFileBytes(exe) == ReadFileBytes(BinDir() + "Tarnwick.exe")) << "the installed launcher differs";

    const std::string tool = PropertyOr(p, "SetAclTempPath", "");
    ASSERT_FALSE(tool.empty());
    EXPECT_EQ(PropertyOr(p, "CustomActionData", ""), "C:\\Program Files\\Tarnwick|" + tool);
    EXPECT_FALSE(PathExists(tool)) << "the temporary tool file is left behind";
    // Read before the package goes, checked after: the removal is checked
    // whether or not this Wine can show the grant.
    const bool fileSecurityKept = FileSecurityIsKept();
    const bool usersGranted = fileSecurityKept && UsersHaveFullControl(folder);

    EXPECT_EQ(Uninstall(package), ERROR_SUCCESS);
    EXPECT_FALSE(PathExists(exe));
    EXPECT_FALSE(PathExists(folder));
    const std::string productCode = PropertyOr(p, "ProductCode", "");
    ASSERT_FALSE(productCode.empty());
    EXPECT_EQ(MsiQueryProductStateA(productCode.c_str()), INSTALLSTATE_UNKNOWN);

    if (!fileSecurityKept) GTEST_SKIP() << "this Wine keeps no file DACLs: the Users entry cannot be read back";
    EXPECT_TRUE(usersGranted) << "Users were not given full control of " << folder;
}

}  // namespace
