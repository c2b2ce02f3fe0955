#include "access/repair.h"

#include <windows.h>

#include <initializer_list>

#include "registry/registry_access.h"

namespace {

struct ComServerRow {
    const char* fileName;
    bool inSharedFolder;
    std::initializer_list<const char*> keys;
};

const ComServerRow kComServers[] = {
    {"\\STSLIST.DLL", false,
     {"SOFTWARE\\Classes\\CLSID\\{252BFDA2-4B21-4872-ABA3-043945949BF8}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{3B83A43E-3F73-4A35-BC00-E5726F517DBF}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{65BCBEE4-7728-41A0-97BE-14E1CAE36AAE}\\InprocServer32"}},
    {"\\MSRTEDIT.DLL", false, {"SOFTWARE\\Classes\\CLSID\\{2F7FC18E-292B-11D2-A795-DFAA798E9148}\\InprocServer32"}},
    {"\\MSRTEDIT.DLL, 101", false, {"SOFTWARE\\Classes\\CLSID\\{2F7FC18E-292B-11D2-A795-DFAA798E9148}\\ToolboxBitmap32"}},
    {"\\ACEOLEDB.DLL", true,
     {"SOFTWARE\\Classes\\CLSID\\{3BE786A0-0366-4F5C-9434-25CF162E475E}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{3BE786A0-0366-4F5C-9434-25CF162E475F}\\InprocServer32"}},
    {"\\msohevi.DLL", false, {"SOFTWARE\\Classes\\CLSID\\{42042206-2D85-11D3-8CFF-005004838597}\\InprocServer32"}},
    {"\\ACEDAO.DLL", true,
     {"SOFTWARE\\Classes\\CLSID\\{367E582C-F71C-4BF9-AA1B-9F62B793E9C5}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{6F3DD387-5AF2-492B-BDE2-30FF2F451241}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{805B7F91-C9CF-4EDF-ACA6-775664FDFB3E}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{8D4F994C-EBBE-4F8D-BA4B-AE20CD36E72D}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{97A2762C-403C-4953-A121-7A75ABCE4373}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{A1EB89D6-0A9C-4575-A0AE-654A990A454C}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{CD7791B9-43FD-42C5-AE42-8DD2811F0419}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{D0B22D03-D05D-4C6D-8AB7-9392E84A87B9}\\InprocServer32",
      "SOFTWARE\\Classes\\CLSID\\{D5EC4D34-77DA-4F7A-B8C4-8A910C1C1CFE}\\InprocServer32"}},
    {"\\MSACCESS.EXE", false, {"SOFTWARE\\Classes\\CLSID\\{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}\\LocalServer32"}},
};

}  // namespace

void RepairAccessComRegistrations(const std::string& installFolder, const std::string& sharedFolder) {
    for (const auto& row : kComServers) {
        const std::string text = (row.inSharedFolder ? sharedFolder : installFolder) + row.fileName;
        for (const char* key : row.keys) WriteRegString(HKEY_LOCAL_MACHINE, key, "", text, false);
    }
}

void SetHtmlEditCommands(const std::string& installFolder) {
    const std::string program = "\"" + installFolder + "\\msohtmed.exe\"";
    WriteRegString(HKEY_CLASSES_ROOT, "htmlfile\\shell\\print\\command", "", program + " /p %1", false);
    WriteRegString(HKEY_CLASSES_ROOT, "htmlfile\\shell\\edit\\command", "", program + " %1", false);
}

void RegisterAceCorePath(const std::string& commonFilesDir, int generation) {
    const std::string path =
        commonFilesDir + (generation == 2007 ? "\\Microsoft Shared\\OFFICE12\\ACECORE.DLL" : "\\Microsoft Shared\\OFFICE14\\ACECORE.DLL");
    WriteRegString(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"
                   "87FA5D886C9174D44BCEB5FA380DE229",
                   "00004102110000000000000000F01FEC", path, true);
}
