// The registry each Access generation is started with, and what is left
// afterwards.
#include "tests/support/harness.h"

#include "tests/support/permissions_harness.h"

namespace {

using Preparation = Scenario;

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }
std::string GetFolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

const std::string kTypeLib = kAccessTypeLib + "\\9.0\\0\\win32";
const std::string kCommon = "SOFTWARE\\Microsoft\\Office\\Common";
const std::string kAceKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\87FA5D886C9174D44BCEB5FA380DE229";
const std::string kAceValue = "00004102110000000000000000F01FEC";
const std::string kAccessServer = "SOFTWARE\\Classes\\CLSID\\{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}\\LocalServer32";
const std::string kDaoServer = "SOFTWARE\\Classes\\CLSID\\{367E582C-F71C-4BF9-AA1B-9F62B793E9C5}\\InprocServer32";
const std::string kLanguages12 = "Software\\Microsoft\\Office\\12.0\\Common\\LanguageResources";
const std::string kLevel = "Software\\Microsoft\\Office\\11.0\\Access\\Security";
// Where Office of the launcher's width keeps its shared files: a 32-bit
// Office on 64-bit Windows under Program Files (x86).
const std::string kCommonFiles =
    sizeof(void*) == 8 ? "C:\\Program Files\\Common Files" : "C:\\Program Files (x86)\\Common Files";

// What the stand-in Access reads at start, in this order.
const std::vector<std::string> kReads = {
    "HKEY_CLASSES_ROOT\\" + kCurVer + "|",
    "HKEY_CLASSES_ROOT\\" + kTypeLib + "|",
    "HKEY_LOCAL_MACHINE\\" + kCommon + "|LastAccessInstall",
    "HKEY_CURRENT_USER\\" + kLanguages12 + "|UILanguage",
    "HKEY_CURRENT_USER\\" + kLanguages12 + "|HelpLanguage",
    "HKEY_CURRENT_USER\\" + kLanguages12 + "|FollowSystemUI",
    "HKEY_LOCAL_MACHINE\\" + kAccessServer + "|",
    "HKEY_LOCAL_MACHINE\\" + kDaoServer + "|",
    "HKEY_CLASSES_ROOT\\htmlfile\\shell\\print\\command|",
    "HKEY_CLASSES_ROOT\\htmlfile\\shell\\edit\\command|",
    "HKEY_LOCAL_MACHINE\\" + kAceKey + "|" + kAceValue,
    "HKEY_CURRENT_USER\\" + kLevel + "|Level",
};
enum Read { kReadCurVer = 1, kReadTypeLib, kReadLastInstall, kReadUiLanguage, kReadHelpLanguage, kReadFollowSystem,
            kReadAccessServer, kReadDaoServer, kReadHtmlPrint, kReadHtmlEdit, kReadAce, kReadLevel };

std::string Seen(const std::map<std::string, std::string>& record, Read read) {
    const auto found = record.find("read." + std::to_string(read));
    return found == record.end() ? "not recorded" : found->second;
}

std::string InstallForReading(int year) {
    return InstallFullAccess(year, {}, "", kReads);
}

// Trusted locations of a container as "path|AllowSubfolders", marking names
// that are not a GUID in braces.
std::vector<std::string> TrustedLocations(const std::string& version) {
    std::vector<std::string> out;
    for (const auto& location : TrustedLocationsOf(version)) {
        const bool guidName = location.name.size() == 38 && location.name.front() == '{' && location.name.back() == '}';
        out.push_back(location.path + "|" + location.allowSubfolders + (guidName ? "" : "|not a GUID name"));
    }
    std::sort(out.begin(), out.end());
    return out;
}

void ExpectHeadSettingsStay() {
    for (const char* format : {"GIF", "JPEG", "PICT", "TIFF"}) {
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER,
                           std::string("Software\\Microsoft\\Shared Tools\\Graphics Filters\\Import\\") + format + "\\Options",
                           "ShowProgressDialog"),
                  "REG_SZ:No");
    }
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\9.0\\Access", "UserData"), "REG_DWORD:1");
}

TEST_F(Preparation, Runtime2002) {
    const std::string runtime = GetFolderOf(InstallRuntime2002({}, kReads));
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.Application.10"));
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.9"));
    SetRawValue(HKEY_CLASSES_ROOT, kTypeLib, "", REG_SZ, Sz("C:\\Old\\MSACC9.OLB"));
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 9);
    SetRawValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\print\\command", "", REG_SZ, Sz("notepad /p %1"));
    for (const char* progId : {"Access.Application.8", "Access.Application.9", "Access.Application.10", "Access.Application.11"}) {
        SetRawValue(HKEY_CLASSES_ROOT, std::string(progId) + "\\shell\\open\\ddeexec", "", REG_SZ, Sz("[OpenDatabase]"));
    }

    EXPECT_EQ(RunTarnwick("-LOGGING \"C:\\Data\\orders.mdb\""), 0);
    const auto record = ReadRecord(runtime + "\\MSACCESS.EXE");
    EXPECT_EQ(Seen(record, kReadCurVer), "REG_SZ:Access.Application.10");
    EXPECT_TRUE(SameText(Seen(record, kReadTypeLib), "REG_SZ:" + runtime + "\\MSACC.OLB")) << Seen(record, kReadTypeLib);
    EXPECT_EQ(Seen(record, kReadLastInstall), "REG_DWORD:9");
    EXPECT_EQ(Seen(record, kReadHtmlPrint), "REG_SZ:notepad /p %1");
    EXPECT_EQ(Seen(record, kReadAce), "missing");

    // An older CurVer before: the registration the launcher made is kept.
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.10");
    EXPECT_TRUE(SameText(RawValue(HKEY_CLASSES_ROOT, kTypeLib, ""), "REG_SZ:" + runtime + "\\MSACC.OLB"));
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall"), "REG_DWORD:9");
    ExpectHeadSettingsStay();
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, "Access.Application.9\\shell\\open\\ddeexec", ""), "missing");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\10.0\\Access\\Settings", "Ignore DDE Requests"),
              "REG_DWORD:0");
    const std::string target = "C:\\TARNWICKSCENARIO\\RUNTIME10\\MSACC.OLB";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Saving default registry settings",
                                                 "Access.Application\\CurVer = Access.Application.9",
                                                 "2002 - current MSACCOLB Path is: C:\\Old\\MSACC9.OLB",
                                                 "2002 - need to set MSACCOLB Path to: " + target}));
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"Found main Access window - shutting down", "Not setting back object library",
                                                 "Restoring registry keys", "Exiting application"}));
}

TEST_F(Preparation, Full2003) {
    const std::string folder = InstallForReading(2003);
    const std::string mso = kCommonFiles + "\\Microsoft Shared\\Office11\\mso.dll";
    MakeDirs(kCommonFiles + "\\Microsoft Shared\\Office11");
    WriteFileBytes(mso, "stand-in");
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.Application.11"));
    SetRawValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\print\\command", "", REG_SZ, Sz("notepad /p %1"));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "htmlfile\\shell\\edit");
    SetRawDword(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall", 12);

    EXPECT_EQ(RunTarnwick("-LOGGING \"C:\\Data\\orders.mdb\""), 0);
    const auto record = ReadRecord(folder + "\\MSACCESS.EXE");
    EXPECT_EQ(Seen(record, kReadCurVer), "REG_SZ:Access.Application.11");
    EXPECT_TRUE(SameText(Seen(record, kReadTypeLib), "REG_SZ:" + folder + "\\MSACC.OLB"));
    EXPECT_EQ(Seen(record, kReadLastInstall), "REG_DWORD:11");
    EXPECT_EQ(Seen(record, kReadLevel), "REG_DWORD:1");
    EXPECT_EQ(Seen(record, kReadHtmlPrint), "REG_SZ:\"C:\\TARNWICKSCENARIO\\OFFICE2003\\msohtmed.exe\" /p %1");
    EXPECT_EQ(Seen(record, kReadHtmlEdit), "missing");

    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kLevel, "Level"), "REG_DWORD:2");  // there was none
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kCommon, "LastAccessInstall"), "REG_DWORD:12");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\print\\command", ""), "REG_SZ:notepad /p %1");
    const std::string office = "TypeLib\\{2DF8D04C-5BFA-101B-BDE5-00AA0044DE52}\\2.3";
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, office, ""), "REG_SZ:Microsoft Office 11.0 Object Library");
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, office + "\\0\\win32", ""), "REG_SZ:" + mso);
    UniqueKey flags;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (office + "\\Flags").c_str(), 0, KEY_READ, flags.receive()), ERROR_SUCCESS);
    DWORD values = 1;
    RegQueryInfoKeyA(flags.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\11.0\\Access\\Settings", "Ignore DDE Requests"),
              "REG_DWORD:0");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\10.0\\Access\\Settings", "Ignore DDE Requests"),
              "missing");
    DeleteFileA(mso.c_str());
}

TEST_F(Preparation, Full2007WithLanguageTrustAndComponents) {
    const std::string folder = InstallForReading(2007);
    WriteFileBytes(folder + "\\Utility.accda", "");
    SetRawValue(HKEY_LOCAL_MACHINE, kAccessServer, "", REG_SZ, Sz("C:\\Elsewhere\\MSACCESS.EXE"));
    SetRawDword(HKEY_CURRENT_USER, kLanguages12, "UILanguage", 1031);
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.11"));
    SetRawValue(HKEY_CLASSES_ROOT, ".mdb", "", REG_SZ, Sz("Access.Application.11"));

    EXPECT_EQ(RunTarnwick("-LOGGING -LANG=1033 -SUBFOLDERS \"C:\\Data\\My App.accdb\" /runtime"), 0);
    const auto record = ReadRecord(folder + "\\MSACCESS.EXE");
    EXPECT_EQ(Seen(record, kReadCurVer), "REG_SZ:Access.Application.12");
    EXPECT_EQ(Seen(record, kReadLastInstall), "REG_DWORD:12");
    EXPECT_EQ(Seen(record, kReadUiLanguage), "REG_DWORD:1033");
    EXPECT_EQ(Seen(record, kReadHelpLanguage), "REG_DWORD:1033");
    EXPECT_EQ(Seen(record, kReadFollowSystem), "REG_SZ:Off");
    EXPECT_EQ(Seen(record, kReadAccessServer), "REG_SZ:C:\\TARNWICKSCENARIO\\OFFICE2007\\MSACCESS.EXE");
    EXPECT_EQ(Seen(record, kReadDaoServer), "missing");  // not registered before: not created
    EXPECT_EQ(Seen(record, kReadAce), "REG_SZ:" + kCommonFiles + "\\Microsoft Shared\\OFFICE12\\ACECORE.DLL");

    const std::vector<std::string> trusted = {"REG_SZ:c:\\data\\|REG_DWORD:1",
                                              "REG_SZ:c:\\tarnwickscenario\\office2007\\|REG_DWORD:1"};
    EXPECT_EQ(TrustedLocations("12.0"), trusted);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kLanguages12, "UILanguage"), "REG_DWORD:1031");  // put back
    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");    // 11 before 12: kept
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\10.0\\Access\\Settings", "Ignore DDE Requests"),
              "REG_DWORD:1");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\11.0\\Access\\Settings", "Ignore DDE Requests"),
              "missing");
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"2007 - LangCode set to: 1033"}));

    // A second run reuses both locations; without -LANG no language value is written.
    RegDeleteTreeA(HKEY_CURRENT_USER, kLanguages12.c_str());
    ForgetRecord(folder + "\\MSACCESS.EXE");
    EXPECT_EQ(RunTarnwick("\"C:\\Data\\Other.accdb\""), 0);
    EXPECT_EQ(TrustedLocations("12.0"), trusted);
    EXPECT_EQ(Seen(ReadRecord(folder + "\\MSACCESS.EXE"), kReadUiLanguage), "missing");
}

TEST_F(Preparation, Full2010) {
    const std::string folder = InstallForReading(2010);
    SetRawValue(HKEY_LOCAL_MACHINE, kAceKey, kAceValue, REG_SZ, Sz(kCommonFiles + "\\Microsoft Shared\\OFFICE12\\ACECORE.DLL"),
                kInstallerView);
    SetRawValue(HKEY_CLASSES_ROOT, kCurVer, "", REG_SZ, Sz("Access.Application.12"));
    SetRawValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\print\\command", "", REG_SZ, Sz("notepad /p %1"));

    EXPECT_EQ(RunTarnwick("-LOGGING C:\\Data\\App.accdb"), 0);
    const auto record = ReadRecord(folder + "\\MSACCESS.EXE");
    EXPECT_EQ(Seen(record, kReadCurVer), "REG_SZ:Access.Application.14");
    EXPECT_EQ(Seen(record, kReadLastInstall), "REG_DWORD:14");
    EXPECT_EQ(Seen(record, kReadAce), "REG_SZ:" + kCommonFiles + "\\Microsoft Shared\\OFFICE14\\ACECORE.DLL");
    EXPECT_EQ(Seen(record, kReadHtmlPrint), "REG_SZ:notepad /p %1");
    EXPECT_EQ(Seen(record, kReadUiLanguage), "missing");

    EXPECT_EQ(RawValue(HKEY_CLASSES_ROOT, kCurVer, ""), "REG_SZ:Access.Application.12");  // 14: always put back
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kAceKey, kAceValue, kInstallerView),
              "REG_SZ:" + kCommonFiles + "\\Microsoft Shared\\OFFICE12\\ACECORE.DLL");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\14.0\\Common\\General", "ShownFirstRunOptIn"),
              "REG_DWORD:1");
    EXPECT_EQ(TrustedLocations("14.0"), std::vector<std::string>{"REG_SZ:c:\\data\\|missing"});
    EXPECT_TRUE(HasConsecutiveLines(LogLines(),
                                    {"2010 - strDBDirectory: c:\\data", "Calling SetTrustedFolderLocation: ",
                                     "SetTrustedFolderLocation: Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations"}));
    for (const auto& line : LogLines()) EXPECT_NE(line, "Not setting back object library");

    // An existing location of the same folder, without a trailing backslash, is reused.
    const std::string existing = "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations\\Location0";
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations");
    SetRawValue(HKEY_CURRENT_USER, existing, "Path", REG_SZ, Sz("C:\\DATA"));
    EXPECT_EQ(RunTarnwick("-SUBFOLDERS C:\\Data\\App.accdb"), 0);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, existing, "Path"), "REG_SZ:C:\\DATA");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, existing, "AllowSubfolders"), "REG_DWORD:1");
    EXPECT_EQ(TrustedLocations("14.0"), std::vector<std::string>{"REG_SZ:C:\\DATA|REG_DWORD:1|not a GUID name"});

    // Folder names are compared ignoring letter case in ASCII only, the same
    // on every machine: "DONN\xC9ES" and "donn\xE9es" are two folders, so the
    // existing location is not given the new one's rights.
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations");
    SetRawValue(HKEY_CURRENT_USER, existing, "Path", REG_SZ, Sz("C:\\DONN\xC9" "ES"));
    EXPECT_EQ(RunTarnwick("-SUBFOLDERS C:\\Donn\xE9\x65s\\App.accdb"), 0);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, existing, "AllowSubfolders"), "missing");
    EXPECT_EQ(TrustedLocations("14.0").size(), 2u);
}

std::string RegistryErrorText(const std::string& title) {
    return title + " has encountered an error writing to the registry.\n\n" + title +
           " will not run properly until the registry permissions are reset.\n\nDo you want to repair the registry "
           "permissions now?";
}

TEST_F(Preparation, RegistrationThatDoesNotTakeAsksAndNoGoesOn) {
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());
    const ResponderResult run = RunTarnwickAnswering("-LOGGING x.mdb", "No");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Registry Error");
    EXPECT_EQ(run.boxes[0].text, RegistryErrorText("The application"));
    EXPECT_EQ(run.boxes[0].icon, "exclamation");
    EXPECT_EQ(run.boxes[0].buttons, "Yes,No");
    EXPECT_EQ(run.boxes[0].owner, "");
    EXPECT_FALSE(ReadRecord(folder + "\\MSACCESS.EXE").empty()) << "Access starts anyway";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"2002 - current MSACCOLB Path is: ",
                                                 "2002 - need to set MSACCOLB Path to: C:\\TARNWICKSCENARIO\\OFFICE2002\\MSACC.OLB",
                                                 "2002 - error setting MSACCOLB Path to: C:\\TARNWICKSCENARIO\\OFFICE2002\\MSACC.OLB",
                                                 "MSACCOLB Path still set to: "}));
}

TEST_F(Preparation, RegistryErrorQuestionCarriesTheStoredTitle) {
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());
    SetRawValue(HKEY_LOCAL_MACHINE, "Software\\Orders", "CmdLine", REG_SZ, Sz("x.mdb"));
    SetRawValue(HKEY_LOCAL_MACHINE, "Software\\Orders\\Run-Time Options", "TitleBar", REG_SZ, Sz("Orders"));
    const ResponderResult run = RunTarnwickAnswering("-CMD=\"Software\\Orders\"", "No");
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RegistryErrorText("Orders"));
}

TEST_F(Preparation, NoQuestionOnWindows98) {
    SetWindowsVersionFor("Tarnwick.exe", "win98");
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());
    const ResponderResult run = RunTarnwickAnswering("-LOGGING x.mdb", "No", 1, 8000);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"2002 - error setting MSACCOLB Path to: C:\\TARNWICKSCENARIO\\OFFICE2002\\MSACC.OLB",
                                                 "MSACCOLB Path still set to: ", "Launching Access: "
                                                 "C:\\TARNWICKSCENARIO\\OFFICE2002\\msaccess.exe\r\n\twith cmdline: x.mdb"}));
}

TEST_F(Preparation, RegistryErrorYesRunsThePermissionsToolThenRegistersAgain) {
    const std::string folder = InstallFullAccess(2002);
    DeleteFileA((folder + "\\MSACC.OLB").c_str());
    const std::string key = "SOFTWARE\\Classes\\Access.Database";
    SetRawValue(HKEY_LOCAL_MACHINE, key, "", REG_SZ, Sz("Microsoft Access Database"));
    const std::vector<AceView> usersOnly = {UsersFullControl()};
    ASSERT_NE(KeyAces(HKEY_LOCAL_MACHINE, key), usersOnly) << "the key starts with the default entries of a new key";

    const ResponderResult run = RunTarnwickAnswering("-LOGGING x.mdb", "Yes");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Registry Error");
    const std::string target = "C:\\TARNWICKSCENARIO\\OFFICE2002\\MSACC.OLB";
    EXPECT_TRUE(HasConsecutiveLines(LogLines(), {"MSACCOLB Path still set to: ",
                                                 "2002 - After RunTarnwickPermissions. Register MSACCOLB to: " + target,
                                                 "MSACCOLB Path now set to: "}));
    // The tool ran over the launcher's keys: Users have full control of them.
    EXPECT_EQ(KeyAces(HKEY_LOCAL_MACHINE, key), usersOnly);
    EXPECT_EQ(ToolFilesInTemp(), std::vector<std::string>{}) << "the tool's file is deleted after its run";
    EXPECT_FALSE(ReadRecord(folder + "\\MSACCESS.EXE").empty()) << "Access starts afterwards";
}

}  // namespace
