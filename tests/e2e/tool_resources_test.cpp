// The tool as the launcher carries it, and the tool's own resources.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/handles.h"
#include "tests/support/harness.h"

namespace {

std::string ResourceBytes(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceExA(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

TEST(EmbeddedTool, LauncherCarriesTheBuiltToolByteForByteAsBin133) {
    const UniqueModule launcher(LoadLibraryExA((BinDir() + "Tarnwick.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(launcher) << "Tarnwick.exe cannot be loaded as data: error " << GetLastError();
    HRSRC found = FindResourceA(launcher.get(), MAKEINTRESOURCEA(133), "BIN");
    ASSERT_NE(found, nullptr);
    const std::string embedded(static_cast<const char*>(LockResource(LoadResource(launcher.get(), found))),
                               SizeofResource(launcher.get(), found));
    const std::string built = ReadFileBytes(BinDir() + "TarnwickPermissions.exe");
    EXPECT_GT(built.size(), 0u);
    EXPECT_EQ(embedded.size(), built.size());
    EXPECT_TRUE(embedded == built);
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR list) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(IS_INTRESOURCE(type) ? ULONG_PTR(type) : 0);
    return TRUE;
}

TEST(ToolResources, AreItsStringsIconDialogManifestAndVersionInUsEnglishAndNothingElse) {
    const UniqueModule module(
        LoadLibraryExA((BinDir() + "TarnwickPermissions.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module) << "TarnwickPermissions.exe cannot be loaded as data: error " << GetLastError();
    const HMODULE tool = module.get();
    std::vector<ULONG_PTR> types;
    EnumResourceTypesA(tool, CollectType, reinterpret_cast<LONG_PTR>(&types));
    std::sort(types.begin(), types.end());
    const std::vector<ULONG_PTR> expected = {ULONG_PTR(RT_ICON),       ULONG_PTR(RT_DIALOG),  ULONG_PTR(RT_STRING),
                                             ULONG_PTR(RT_GROUP_ICON), ULONG_PTR(RT_VERSION), ULONG_PTR(RT_MANIFEST)};
    EXPECT_EQ(types, expected);
    char text[64] = {};
    LoadStringA(tool, 103, text, sizeof text);
    EXPECT_STREQ(text, "TarnwickPermissions");
    LoadStringA(tool, 109, text, sizeof text);
    EXPECT_STREQ(text, "TARNWICKPERMISSIONS");
    EXPECT_FALSE(ResourceBytes(tool, RT_STRING, MAKEINTRESOURCEA(103 / 16 + 1)).empty());
    EXPECT_FALSE(ResourceBytes(tool, RT_GROUP_ICON, MAKEINTRESOURCEA(129)).empty());
    EXPECT_NE(ResourceBytes(tool, RT_MANIFEST, MAKEINTRESOURCEA(1)).find("level=\"requireAdministrator\""),
              std::string::npos);
    // The dialog's caption, size and one control; its frame is seen live.
    const std::string dialog = ResourceBytes(tool, RT_DIALOG, MAKEINTRESOURCEA(131));
    ASSERT_GT(dialog.size(), 26u);
    const auto* words = reinterpret_cast<const unsigned short*>(dialog.data());
    EXPECT_EQ(words[11], 236);
    EXPECT_EQ(words[12], 62);
    const std::wstring all(reinterpret_cast<const wchar_t*>(dialog.data()), dialog.size() / 2);
    EXPECT_NE(all.find(L"Updating System Configuration, Please Wait..."), std::wstring::npos);
    EXPECT_NE(all.find(L"MS Shell Dlg"), std::wstring::npos);
    const size_t control = all.find(L"MSCTLS_PROGRESS32");  // the resource compiler writes class names in capitals
    ASSERT_NE(control, std::wstring::npos);
    EXPECT_EQ(all.substr(control - 6, 6), (std::wstring{16, 21, 203, 16, 1000, 0})) << "place, size and id";
}

}  // namespace
