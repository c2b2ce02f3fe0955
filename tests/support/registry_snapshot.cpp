#include "tests/support/registry_snapshot.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "common/handles.h"

namespace {

struct NoCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegNode {
    FILETIME written = {};  // the key's last write time when it was saved
    std::map<std::wstring, RegValue, NoCase> values;
    std::map<std::wstring, RegNode, NoCase> subkeys;
};

struct Scope {
    HKEY root;
    const wchar_t* path;
    const wchar_t* skip;  // a direct subkey that is left alone (volatile data)
};

// Every open asks for the 64-bit view, where the 32-bit one is the subkey
// Wow6432Node: one walk sees both views, from a 32-bit test program too
// (which would otherwise see only its own view under HKLM\Software).
constexpr REGSAM kWholeRegistry = KEY_WOW64_64KEY;

const Scope kScopes[] = {
    {HKEY_CURRENT_USER, L"", L"Volatile Environment"},
    {HKEY_LOCAL_MACHINE, L"Software", nullptr},
};

// What one RegQueryInfoKey tells of a key. A walk of the whole registry is
// one call to the server per step (slow under emulation), so each key is
// asked once and its enumerations stop at the counts instead of at an error.
struct KeyInfo {
    DWORD subkeys = 0, values = 0, maxValueName = 0, maxValueData = 0;
    FILETIME written = {};
};

KeyInfo InfoOf(HKEY key) {
    KeyInfo info;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info.subkeys, nullptr, nullptr, &info.values, &info.maxValueName,
                     &info.maxValueData, nullptr, &info.written);
    return info;
}

std::vector<std::wstring> SubkeyNames(HKEY key, DWORD count) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

std::map<std::wstring, RegValue, NoCase> Values(HKEY key, const KeyInfo& info) {
    std::map<std::wstring, RegValue, NoCase> values;
    std::vector<wchar_t> name(info.maxValueName + 2);
    std::vector<BYTE> data(info.maxValueData + 2);
    for (DWORD i = 0; i < info.values; ++i) {
        DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
        values[std::wstring(name.data(), nameSize)] = RegValue{type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)};
    }
    return values;
}

void ReadTree(HKEY key, RegNode& node, const wchar_t* skip) {
    const KeyInfo info = InfoOf(key);
    node.written = info.written;
    node.values = Values(key, info);
    for (const auto& name : SubkeyNames(key, info.subkeys)) {
        if (skip && _wcsicmp(name.c_str(), skip) == 0) continue;
        UniqueKey child;
        if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | kWholeRegistry, child.receive()) != ERROR_SUCCESS) continue;
        ReadTree(child.get(), node.subkeys[name], nullptr);
    }
}

void DeleteTree(HKEY key, const std::wstring& name) {
    UniqueKey sub;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_ALL_ACCESS | kWholeRegistry, sub.receive()) == ERROR_SUCCESS) {
        RegDeleteTreeW(sub.get(), nullptr);
    }
    RegDeleteKeyExW(key, name.c_str(), kWholeRegistry, 0);
}

void ResetValues(HKEY key, const KeyInfo& info, const RegNode& node) {
    const auto live = Values(key, info);
    for (const auto& [name, value] : live) {
        if (!node.values.count(name)) RegDeleteValueW(key, name.c_str());
    }
    for (const auto& [name, value] : node.values) {
        auto found = live.find(name);
        if (found == live.end() || found->second.type != value.type || found->second.data != value.data) {
            RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), DWORD(value.data.size()));
        }
    }
}

// A key's write time changes with its values and its list of subkeys, so a
// key written last when it was saved needs only its subkeys visited; this
// keeps the reset of a whole prefix fast. The count of subkeys is compared
// too: a key that Wine reloads from its files without values of its own gets
// a fixed time, whatever was created below it before the reload.
void ResetTree(HKEY key, const RegNode& node, const wchar_t* skip) {
    const KeyInfo info = InfoOf(key);
    if (CompareFileTime(&info.written, &node.written) != 0 || info.subkeys != node.subkeys.size() + (skip ? 1 : 0)) {
        ResetValues(key, info, node);
        for (const auto& name : SubkeyNames(key, info.subkeys)) {
            if (skip && _wcsicmp(name.c_str(), skip) == 0) continue;
            if (!node.subkeys.count(name)) DeleteTree(key, name);
        }
    }
    for (const auto& [name, child] : node.subkeys) {
        UniqueKey sub;
        if (RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kWholeRegistry, nullptr, sub.receive(),
                            nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        ResetTree(sub.get(), child, nullptr);
    }
}

// Plain binary serialisation: counts and lengths as 32-bit numbers.
void PutU32(std::string& out, std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutName(std::string& out, const std::wstring& s) {
    PutU32(out, std::uint32_t(s.size()));
    out.append(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}
void PutTree(std::string& out, const RegNode& node) {
    PutU32(out, node.written.dwLowDateTime);
    PutU32(out, node.written.dwHighDateTime);
    PutU32(out, std::uint32_t(node.values.size()));
    for (const auto& [name, value] : node.values) {
        PutName(out, name);
        PutU32(out, value.type);
        PutU32(out, std::uint32_t(value.data.size()));
        out.append(reinterpret_cast<const char*>(value.data.data()), value.data.size());
    }
    PutU32(out, std::uint32_t(node.subkeys.size()));
    for (const auto& [name, child] : node.subkeys) {
        PutName(out, name);
        PutTree(out, child);
    }
}

struct Reader {
    const std::string& in;
    size_t pos = 0;
    bool ok = true;
    std::uint32_t U32() {
        std::uint32_t v = 0;
        if (pos + 4 > in.size()) return ok = false, 0;
        memcpy(&v, in.data() + pos, 4);
        pos += 4;
        return v;
    }
    std::wstring Name() {
        const std::uint32_t n = U32();
        if (!ok || pos + n * sizeof(wchar_t) > in.size()) return ok = false, std::wstring();
        std::wstring s(reinterpret_cast<const wchar_t*>(in.data() + pos), n);
        pos += n * sizeof(wchar_t);
        return s;
    }
    void Tree(RegNode& node) {
        node.written.dwLowDateTime = U32();
        node.written.dwHighDateTime = U32();
        for (std::uint32_t i = U32(); ok && i > 0; --i) {
            std::wstring name = Name();
            RegValue value;
            value.type = U32();
            const std::uint32_t size = U32();
            if (!ok || pos + size > in.size()) return void(ok = false);
            value.data.assign(in.begin() + pos, in.begin() + pos + size);
            pos += size;
            node.values[name] = std::move(value);
        }
        for (std::uint32_t i = U32(); ok && i > 0; --i) {
            std::wstring name = Name();
            Tree(node.subkeys[name]);
        }
    }
};

std::vector<RegNode> ReadScopes() {
    std::vector<RegNode> trees(std::size(kScopes));
    for (size_t i = 0; i < std::size(kScopes); ++i) {
        UniqueKey key;
        if (RegOpenKeyExW(kScopes[i].root, kScopes[i].path, 0, KEY_READ | kWholeRegistry, key.receive()) != ERROR_SUCCESS) continue;
        ReadTree(key.get(), trees[i], kScopes[i].skip);
    }
    return trees;
}

void DumpTree(std::string& out, const std::wstring& path, const RegNode& node) {
    // Wine's own bookkeeping of system parameters comes and goes with windows.
    if (path == L"HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters") return;
    char line[64];
    auto narrow = [](const std::wstring& w) {
        std::string s;
        for (wchar_t c : w) s += c < 128 ? char(c) : '?';
        return s;
    };
    // Each value line names its key, so that a comparison line by line
    // tells which key's value changed.
    const std::string key = "[" + narrow(path) + "]";
    out += key + "\n";
    for (const auto& [name, value] : node.values) {
        snprintf(line, sizeof line, "\"=%lu:", value.type);
        out += key + " \"" + narrow(name) + line;
        for (BYTE b : value.data) snprintf(line, sizeof line, "%02X", b), out += line;
        out += "\n";
    }
    for (const auto& [name, child] : node.subkeys) DumpTree(out, path + L"\\" + name, child);
}

}  // namespace

bool SaveRegistrySnapshot(const std::string& file) {
    std::string out;
    for (const auto& tree : ReadScopes()) PutTree(out, tree);
    FILE* f = fopen(file.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    return fclose(f) == 0 && ok;
}

bool ResetRegistryToSnapshot(const std::string& file) {
    FILE* f = fopen(file.c_str(), "rb");
    if (!f) return false;
    std::string in;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) in.append(buffer, n);
    fclose(f);
    Reader reader{in};
    std::vector<RegNode> trees(std::size(kScopes));
    for (auto& tree : trees) reader.Tree(tree);
    if (!reader.ok) return false;
    for (size_t i = 0; i < std::size(kScopes); ++i) {
        UniqueKey key;
        if (RegOpenKeyExW(kScopes[i].root, kScopes[i].path, 0, KEY_ALL_ACCESS | kWholeRegistry, key.receive()) != ERROR_SUCCESS) {
            return false;
        }
        ResetTree(key.get(), trees[i], kScopes[i].skip);
    }
    return true;
}

std::string DumpRegistry() {
    std::string out;
    const auto trees = ReadScopes();
    DumpTree(out, L"HKEY_CURRENT_USER", trees[0]);
    DumpTree(out, L"HKEY_LOCAL_MACHINE\\Software", trees[1]);
    return out;
}
