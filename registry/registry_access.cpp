#include "registry/registry_access.h"

#include <cstring>
#include <vector>

#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/registry_view.h"
#include "common/system_library.h"

namespace {

std::uint32_t CreateKey(HKEY root, const std::string& keyPath, UniqueKey& key) {
    return std::uint32_t(RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         kKeyReadWrite | RegistryViewFor(root, keyPath), nullptr, key.receive(),
                                         nullptr));
}

}  // namespace

std::uint32_t OpenKey(HKEY root, const std::string& keyPath, DWORD rights, UniqueKey& key) {
    return std::uint32_t(
        RegOpenKeyExA(root, keyPath.c_str(), 0, rights | RegistryViewFor(root, keyPath), key.receive()));
}

HKEY RootHandle(RegRoot root) {
    switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::Users: return HKEY_USERS;
    }
    return nullptr;
}

std::string RootKeyName(HKEY root) {
    for (const RegistryRootNames& row : kRegistryRoots) {
        if (RootHandle(row.root) == root) return std::string(row.longName);
    }
    return {};
}

std::pair<HKEY, std::string> SplitRootPrefix(const std::string& keyPath) {
    // Stored key paths name the two roots a deployer writes to by their
    // short names, in capitals exactly.
    for (const RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        const std::string prefix = std::string(NamesOf(root).shortName) + "\\";
        if (keyPath.rfind(prefix, 0) == 0) return {RootHandle(root), keyPath.substr(prefix.size())};
    }
    return {HKEY_LOCAL_MACHINE, keyPath};
}

std::uint32_t ReadRegString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string& out,
                            DWORD* typeOut) {
    UniqueKey key;
    if (const auto rc = OpenKey(root, keyPath, kKeyRead, key)) return rc;
    std::vector<char> buffer(kMaxStringBytes);
    DWORD type = 0, size = kMaxStringBytes;
    const auto rc = std::uint32_t(
        RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size));
    if (rc) return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    if (size > 0 && buffer[size - 1] != '\0') return ERROR_INVALID_DATA;
    out.assign(buffer.data(), size == 0 ? 0 : strlen(buffer.data()));  // up to the first zero byte
    if (typeOut) *typeOut = type;
    return 0;
}

std::uint32_t ReadRegDword(HKEY root, const std::string& keyPath, const std::string& valueName, std::uint32_t& out) {
    UniqueKey key;
    if (const auto rc = OpenKey(root, keyPath, kKeyRead, key)) return rc;
    DWORD type = 0, value = 0, size = sizeof value;
    const auto rc = std::uint32_t(
        RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    if (rc) return rc;
    // A REG_DWORD of fewer than four bytes would hand back bytes that were never read.
    if (type != REG_DWORD || size != sizeof value) return ERROR_INVALID_DATA;
    out = value;
    return 0;
}

std::uint32_t WriteRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                             const std::string& text, bool createIfMissing, DWORD type) {
    UniqueKey key;
    const auto opened = createIfMissing ? CreateKey(root, keyPath, key) : OpenKey(root, keyPath, kKeyReadWrite, key);
    if (opened) return opened;
    return std::uint32_t(RegSetValueExA(key.get(), valueName.c_str(), 0, type,
                                        reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)));
}

std::uint32_t WriteRegDword(HKEY root, const std::string& keyPath, const std::string& valueName, std::uint32_t value) {
    UniqueKey key;
    if (const auto rc = CreateKey(root, keyPath, key)) return rc;
    const DWORD data = value;
    return std::uint32_t(
        RegSetValueExA(key.get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data));
}

std::uint32_t ReadRegRaw(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD& type,
                         std::string& data) {
    UniqueKey key;
    if (const auto rc = OpenKey(root, keyPath, kKeyRead, key)) return rc;
    // The value may grow between asking for its size and reading it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (const auto rc = std::uint32_t(RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size))) {
            return rc;
        }
        std::string buffer(size, '\0');
        const auto rc = std::uint32_t(RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                                       reinterpret_cast<BYTE*>(buffer.data()), &size));
        if (rc == ERROR_MORE_DATA) continue;
        if (rc) return rc;
        buffer.resize(size);
        data = std::move(buffer);
        return 0;
    }
    return ERROR_MORE_DATA;
}

std::uint32_t WriteRegRaw(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                          const std::string& data) {
    UniqueKey key;
    if (const auto rc = CreateKey(root, keyPath, key)) return rc;
    return std::uint32_t(RegSetValueExA(key.get(), valueName.c_str(), 0, type,
                                        reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size())));
}

std::wstring WideFromAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::uint32_t ReadRegStored(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD& type,
                            std::string& bytes) {
    UniqueKey key;
    if (const auto rc = OpenKey(root, keyPath, kKeyRead, key)) return rc;
    return QueryRegStored(key.get(), valueName, type, bytes);
}

std::uint32_t QueryRegStored(HKEY key, const std::string& valueName, DWORD& type, std::string& bytes) {
    const std::wstring name = WideFromAnsi(valueName);
    // Most values fit the first buffer; a larger one is asked for its size,
    // and may grow between asking and reading.
    std::string buffer(kMaxStringBytes, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = DWORD(buffer.size());
        const auto rc = std::uint32_t(
            RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size));
        if (rc == ERROR_MORE_DATA) {
            buffer.assign(size, '\0');
            continue;
        }
        if (rc) return rc;
        buffer.resize(size);
        bytes = std::move(buffer);
        return 0;
    }
    return ERROR_MORE_DATA;
}

std::uint32_t WriteRegStored(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                             const std::string& bytes) {
    UniqueKey key;
    if (const auto rc = CreateKey(root, keyPath, key)) return rc;
    // The registry functions count a string's missing terminator themselves
    // when the character after the data is zero, and look at the character
    // before its end to decide: non-zero bytes around the data keep them
    // from adding anything (and from reading outside it when the data is a
    // single byte).
    std::string guarded = "\x01\x01" + bytes + "\x01\x01";
    return std::uint32_t(RegSetValueExW(key.get(), WideFromAnsi(valueName).c_str(), 0, type,
                                        reinterpret_cast<const BYTE*>(guarded.data() + 2), DWORD(bytes.size())));
}

namespace {

// RegDeleteKeyEx is taken at run time: Windows before XP x64 lacks it, and
// no program runs under WOW64 there.
std::uint32_t DeleteKeyIn(HKEY parent, const std::string& subkey, REGSAM view) {
    using RegDeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    static const auto deleteKeyEx =
        SystemFunction<RegDeleteKeyExFunction>(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA");
    if (view && deleteKeyEx) return std::uint32_t(deleteKeyEx(parent, subkey.c_str(), view, 0));
    return std::uint32_t(RegDeleteKeyA(parent, subkey.c_str()));
}

std::uint32_t DeleteKeyTreeIn(HKEY parent, const std::string& subkey, REGSAM view) {
    {
        UniqueKey key;
        if (const auto rc = RegOpenKeyExA(parent, subkey.c_str(), 0, kKeyReadWrite | view, key.receive())) {
            return std::uint32_t(rc);
        }
        char name[256];
        while (RegEnumKeyA(key.get(), 0, name, sizeof name) == ERROR_SUCCESS) {
            if (const auto rc = DeleteKeyTreeIn(key.get(), name, view)) return rc;
        }
    }
    return DeleteKeyIn(parent, subkey, view);
}

}  // namespace

std::uint32_t DeleteKeyTree(HKEY parent, const std::string& subkey) {
    return DeleteKeyTreeIn(parent, subkey, RegistryViewFor(parent, subkey));
}

std::uint32_t DeleteClassesTree(const std::string& keyPath) { return DeleteKeyTree(HKEY_CLASSES_ROOT, keyPath); }

std::uint32_t ReadFirstMachineValue(const std::string& keyPath, std::string& name, DWORD& type, BYTE* data,
                                    DWORD& dataSize) {
    UniqueKey key;
    if (const auto rc = OpenKey(HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key)) return rc;
    char nameBuffer[1024];
    DWORD nameSize = sizeof nameBuffer;
    const auto rc = std::uint32_t(RegEnumValueA(key.get(), 0, nameBuffer, &nameSize, nullptr, &type, data, &dataSize));
    if (rc == 0) name.assign(nameBuffer, nameSize);
    return rc;
}

int CountMissingKeys(HKEY root, const std::string& keyPath) {
    int missing = 0;
    for (std::string path = keyPath; !path.empty(); ++missing) {
        UniqueKey key;
        if (OpenKey(root, path, kKeyRead, key) == ERROR_SUCCESS) break;
        const auto slash = path.rfind('\\');
        path.resize(slash == std::string::npos ? 0 : slash);
    }
    return missing;
}

void DeleteValueAndEmptyKeys(HKEY root, const std::string& keyPath, const std::string& valueName, int keys) {
    {
        UniqueKey key;
        if (OpenKey(root, keyPath, kKeyReadWrite, key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key.get(), valueName.c_str());
    }
    std::string path = keyPath;
    for (int i = 0; i < keys && !path.empty(); ++i) {
        const auto slash = path.rfind('\\');
        const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
        {
            UniqueKey key;
            DWORD subkeys = 0, values = 0;
            if (OpenKey(root, path, kKeyRead, key) != ERROR_SUCCESS ||
                RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
                subkeys != 0 || values != 0) {
                return;
            }
        }
        if (DeleteKeyIn(root, path, RegistryViewFor(root, path)) != ERROR_SUCCESS) return;
        path = parent;
    }
}
