#include "tests/support/registry_snapshot.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "common/handles.h"
#include "tests/support/harness.h"

namespace {

// Registry names compare without regard to case. Inline and ASCII-folding:
// the C runtime's _wcsicmp costs a call per character under emulation, and
// two names that differ in case alone cannot both be there.
struct NoCase {
    static wchar_t Fold(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c + 32) : c; }
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const wchar_t x = Fold(a[i]), y = Fold(b[i]);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};

struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const RegValue& other) const { return type == other.type && data == other.data; }
};

using ValueMap = std::map<std::wstring, RegValue, NoCase>;

struct RegNode {
    bool link = false;  // a symbolic link: its one value SymbolicLinkValue names the target
    ValueMap values;
    std::map<std::wstring, RegNode, NoCase> subkeys;
};

struct Scope {
    HKEY root;
    const wchar_t* path;
    const wchar_t* skip;      // a direct subkey that is left alone (volatile data)
    const wchar_t* linkBase;  // how link targets inside the scope begin
};

// Every open asks for the 64-bit view, where the 32-bit one is the subkey
// Wow6432Node: both views are seen, from a 32-bit test program too (which
// would otherwise see only its own view under HKLM\Software).
constexpr REGSAM kWholeRegistry = KEY_WOW64_64KEY;

const Scope kScopes[] = {
    {HKEY_CURRENT_USER, L"", L"Volatile Environment", nullptr},
    {HKEY_LOCAL_MACHINE, L"Software", nullptr, L"\\Registry\\Machine\\Software\\"},
};

// --- The registry as the wineserver saves it --------------------------------
//
// A walk of the whole registry is one call to the server per key and value
// list, tens of thousands in all: seconds for a native program, and several
// times that for a 32-bit one under emulation. RegSaveKey has the server
// write a whole tree in one call, in the text form of its own registry files;
// reading that text back takes a fraction of a second. Symbolic links are
// saved as such (a walk goes through them); volatile keys are not saved.

// Wine's registry text: strings with C escapes, \x for a UTF-16 unit by up to
// four hex digits, \ooo octal; parsing stops at the unescaped terminator.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* ParseEscaped(const char* p, const char* end, char terminator, std::wstring& out) {
    while (p < end && *p != terminator) {
        if (*p != '\\' || p + 1 >= end) {
            out += wchar_t(static_cast<unsigned char>(*p++));
            continue;
        }
        const char c = *++p;
        switch (c) {
        case 'a': out += L'\a', ++p; break;
        case 'b': out += L'\b', ++p; break;
        case 'e': out += wchar_t(27), ++p; break;
        case 'f': out += L'\f', ++p; break;
        case 'n': out += L'\n', ++p; break;
        case 'r': out += L'\r', ++p; break;
        case 't': out += L'\t', ++p; break;
        case 'v': out += L'\v', ++p; break;
        case 'x': {
            unsigned v = 0;
            int i = 0;
            for (++p; i < 4 && p < end && HexDigit(*p) >= 0; ++i, ++p) v = v * 16 + unsigned(HexDigit(*p));
            out += wchar_t(v);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                unsigned v = 0;
                for (int i = 0; i < 3 && p < end && *p >= '0' && *p <= '7'; ++i, ++p) v = v * 8 + unsigned(*p - '0');
                out += wchar_t(v);
            } else {
                out += wchar_t(static_cast<unsigned char>(c));
                ++p;
            }
        }
    }
    return p < end ? p + 1 : nullptr;
}

std::vector<BYTE> Utf16Bytes(const std::wstring& text, bool terminated) {
    const size_t bytes = (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
    std::vector<BYTE> data(bytes);
    if (bytes) memcpy(data.data(), text.c_str(), bytes);
    return data;
}

// One value line (continuations joined): "name"=data or @=data.
bool ParseValue(const char* p, const char* end, ValueMap& values) {
    std::wstring name;
    if (*p == '@') {
        ++p;
    } else if (*p == '"') {
        p = ParseEscaped(p + 1, end, '"', name);
        if (!p) return false;
    } else {
        return false;
    }
    if (p >= end || *p++ != '=') return false;
    RegValue value;
    auto startsWith = [&p, end](const char* text) {
        const size_t n = strlen(text);
        return size_t(end - p) >= n && memcmp(p, text, n) == 0;
    };
    if (*p == '"' || startsWith("str(")) {
        value.type = REG_SZ;
        if (*p != '"') {
            value.type = DWORD(strtoul(p + 4, nullptr, 16));
            p = static_cast<const char*>(memchr(p, '"', size_t(end - p)));
            if (!p) return false;
        }
        std::wstring text;
        if (!ParseEscaped(p + 1, end, '"', text)) return false;
        value.data = Utf16Bytes(text, true);  // saved as a string only when terminated
    } else if (startsWith("dword:")) {
        value.type = REG_DWORD;
        DWORD v = 0;
        for (p += 6; p < end && HexDigit(*p) >= 0; ++p) v = v * 16 + DWORD(HexDigit(*p));
        value.data.assign(reinterpret_cast<const BYTE*>(&v), reinterpret_cast<const BYTE*>(&v) + 4);
    } else if (startsWith("hex")) {
        value.type = REG_BINARY;
        if (p[3] == '(') value.type = DWORD(strtoul(p + 4, nullptr, 16));
        p = static_cast<const char*>(memchr(p, ':', size_t(end - p)));
        if (!p) return false;
        value.data.reserve(size_t(end - p) / 3 + 1);
        for (++p; p + 1 < end;) {  // two digits a byte, commas between
            const int high = HexDigit(p[0]), low = HexDigit(p[1]);
            if (high < 0 || low < 0) break;
            value.data.push_back(BYTE(high * 16 + low));
            p += 2;
            while (p < end && (*p == ',' || *p == ' ')) ++p;
        }
    } else {
        return false;
    }
    values[name] = std::move(value);
    return true;
}

// The text RegSaveKey wrote, as a tree below its key.
bool ParseSaved(const std::string& text, RegNode& root) {
    RegNode* key = nullptr;
    std::string joined;
    const char* const end = text.data() + text.size();
    for (const char* line = text.data(); line < end;) {
        const char* eol = static_cast<const char*>(memchr(line, '\n', size_t(end - line)));
        if (!eol) eol = end;
        const char* next = eol + 1;
        const char* lineEnd = eol > line && eol[-1] == '\r' ? eol - 1 : eol;
        if (line < lineEnd && lineEnd[-1] == '\\' && (*line == '"' || *line == '@')) {
            // A long hex value goes on in lines that start with two spaces.
            joined.assign(line, lineEnd - 1);
            while (next < end) {
                const char* more = next;
                while (more < end && *more == ' ') ++more;
                const char* moreEol = static_cast<const char*>(memchr(more, '\n', size_t(end - more)));
                if (!moreEol) moreEol = end;
                const char* moreEnd = moreEol > more && moreEol[-1] == '\r' ? moreEol - 1 : moreEol;
                next = moreEol + 1;
                const bool goesOn = moreEnd > more && moreEnd[-1] == '\\';
                joined.append(more, goesOn ? moreEnd - 1 : moreEnd);
                if (!goesOn) break;
            }
            if (!key || !ParseValue(joined.data(), joined.data() + joined.size(), key->values)) return false;
        } else if (*line == '[') {
            std::wstring path;
            if (!ParseEscaped(line + 1, lineEnd, ']', path)) return false;
            key = &root;
            for (size_t start = 0; start < path.size();) {
                size_t stop = path.find(L'\\', start);
                if (stop == std::wstring::npos) stop = path.size();
                key = &key->subkeys[path.substr(start, stop - start)];
                start = stop + 1;
            }
        } else if (*line == '"' || *line == '@') {
            if (!key || !ParseValue(line, lineEnd, key->values)) return false;
        } else if (key && size_t(lineEnd - line) == 5 && memcmp(line, "#link", 5) == 0) {
            key->link = true;
        }
        // Anything else: the header, comments, #time, #class, empty lines.
        line = next;
    }
    return true;
}

bool EnableBackupPrivilege() {
    static const bool enabled = [] {
        UniqueToken token;
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        return OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.receive()) &&
               LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid) &&
               AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
               GetLastError() == ERROR_SUCCESS;
    }();
    return enabled;
}

// The scope's tree as the server saves it, in a file of this process's own
// next to the snapshot.
bool SavedTree(const Scope& scope, RegNode& tree) {
    if (!EnableBackupPrivilege()) return false;
    UniqueKey key;
    if (RegOpenKeyExW(scope.root, scope.path, 0, KEY_READ | kWholeRegistry, key.receive()) != ERROR_SUCCESS) return false;
    CreateDirectoryW(L"C:\\tarnwick-tests", nullptr);
    const std::string file = "C:\\tarnwick-tests\\saved-" + std::to_string(GetCurrentProcessId()) + ".reg";
    DeleteFileA(file.c_str());  // RegSaveKey writes no file that exists
    const LONG rc = RegSaveKeyA(key.get(), file.c_str(), nullptr);
    const std::string text = ReadFileBytes(file);
    DeleteFileA(file.c_str());
    if (rc != ERROR_SUCCESS || !ParseSaved(text, tree)) return false;
    if (scope.skip) tree.subkeys.erase(scope.skip);
    return true;
}

std::vector<RegNode> SavedScopes(bool* ok = nullptr) {
    std::vector<RegNode> trees(std::size(kScopes));
    bool all = true;
    for (size_t i = 0; i < std::size(kScopes); ++i) all = SavedTree(kScopes[i], trees[i]) && all;
    if (ok) *ok = all;
    return trees;
}

// --- The registry walked key by key -----------------------------------------

// What one RegQueryInfoKey tells of a key: each key is asked once and its
// enumerations stop at the counts instead of at an error.
struct KeyInfo {
    DWORD subkeys = 0, values = 0, maxValueName = 0, maxValueData = 0;
};

KeyInfo InfoOf(HKEY key) {
    KeyInfo info;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info.subkeys, nullptr, nullptr, &info.values, &info.maxValueName,
                     &info.maxValueData, nullptr, nullptr);
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

ValueMap Values(HKEY key, const KeyInfo& info) {
    ValueMap values;
    std::vector<wchar_t> name(info.maxValueName + 2);
    std::vector<BYTE> data(info.maxValueData + 2);
    for (DWORD i = 0; i < info.values; ++i) {
        DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
        values[std::wstring(name.data(), nameSize)] = RegValue{type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)};
    }
    return values;
}

void WalkTree(HKEY key, RegNode& node, const wchar_t* skip) {
    const KeyInfo info = InfoOf(key);
    node.values = Values(key, info);
    for (const auto& name : SubkeyNames(key, info.subkeys)) {
        if (skip && _wcsicmp(name.c_str(), skip) == 0) continue;
        UniqueKey child;
        if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | kWholeRegistry, child.receive()) != ERROR_SUCCESS) continue;
        WalkTree(child.get(), node.subkeys[name], nullptr);
    }
}

// --- Putting the registry back ----------------------------------------------

void DeleteTree(HKEY key, const std::wstring& name) {
    UniqueKey sub;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_ALL_ACCESS | kWholeRegistry, sub.receive()) == ERROR_SUCCESS) {
        RegDeleteTreeW(sub.get(), nullptr);
    }
    RegDeleteKeyExW(key, name.c_str(), kWholeRegistry, 0);
}

constexpr const wchar_t* kLinkValue = L"SymbolicLinkValue";

// Makes the key at the path below the scope's root equal to the saved one,
// given what the server saved of it now (null: missing). Only keys that
// differ are opened.
void ResetKey(HKEY root, const std::wstring& path, const RegNode& want, const RegNode* live, const wchar_t* skip) {
    if (want.link) {
        if (live) return;  // links are made by Wine alone; one that is there is left as it is
        const auto target = want.values.find(kLinkValue);
        UniqueKey link;
        if (target == want.values.end() ||
            RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | kWholeRegistry,
                            nullptr, link.receive(), nullptr) != ERROR_SUCCESS) {
            return;
        }
        RegSetValueExW(link.get(), kLinkValue, 0, REG_LINK, target->second.data.data(), DWORD(target->second.data.size()));
        return;
    }
    std::vector<std::wstring> extra;
    if (live) {
        for (const auto& [name, child] : live->subkeys) {
            // A link of Wine's own would be deleted through: its target instead.
            if (!want.subkeys.count(name) && !child.link && !(skip && _wcsicmp(name.c_str(), skip) == 0)) {
                extra.push_back(name);
            }
        }
    }
    if (!live || !extra.empty() || live->values != want.values) {
        UniqueKey key;
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kWholeRegistry, nullptr, key.receive(),
                            nullptr) != ERROR_SUCCESS) {
            return;
        }
        for (const auto& name : extra) DeleteTree(key.get(), name);
        if (live) {
            for (const auto& [name, value] : live->values) {
                if (!want.values.count(name)) RegDeleteValueW(key.get(), name.c_str());
            }
        }
        for (const auto& [name, value] : want.values) {
            const RegValue* now = nullptr;
            if (live) {
                const auto found = live->values.find(name);
                if (found != live->values.end()) now = &found->second;
            }
            if (!now || !(*now == value)) {
                RegSetValueExW(key.get(), name.c_str(), 0, value.type, value.data.data(), DWORD(value.data.size()));
            }
        }
    }
    for (const auto& [name, child] : want.subkeys) {
        const RegNode* liveChild = nullptr;
        if (live) {
            const auto found = live->subkeys.find(name);
            if (found != live->subkeys.end()) liveChild = &found->second;
        }
        ResetKey(root, path.empty() ? name : path + L"\\" + name, child, liveChild, nullptr);
    }
}

// --- The snapshot file ------------------------------------------------------

// Plain binary serialisation: counts and lengths as 32-bit numbers.
void PutU32(std::string& out, std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutName(std::string& out, const std::wstring& s) {
    PutU32(out, std::uint32_t(s.size()));
    out.append(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}
void PutTree(std::string& out, const RegNode& node) {
    PutU32(out, node.link ? 1 : 0);
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
        node.link = U32() != 0;
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

// --- The readable dump --------------------------------------------------------

// The node a link inside the scope leads to, as a walk would open it; null
// when it leads elsewhere or nowhere.
const RegNode* LinkTarget(const RegNode& node, const RegNode& scopeRoot, const wchar_t* linkBase) {
    const auto value = node.values.find(kLinkValue);
    if (!linkBase || value == node.values.end()) return nullptr;
    std::wstring target(reinterpret_cast<const wchar_t*>(value->second.data.data()),
                        value->second.data.size() / sizeof(wchar_t));
    const size_t base = wcslen(linkBase);
    if (target.size() < base || _wcsnicmp(target.c_str(), linkBase, base) != 0) return nullptr;
    const RegNode* at = &scopeRoot;
    for (size_t start = base; at && start < target.size();) {
        size_t stop = target.find(L'\\', start);
        if (stop == std::wstring::npos) stop = target.size();
        const auto found = at->subkeys.find(target.substr(start, stop - start));
        at = found == at->subkeys.end() ? nullptr : &found->second;
        start = stop + 1;
    }
    return at;
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    s.reserve(w.size());
    for (wchar_t c : w) s += c < 128 ? char(c) : '?';
    return s;
}

void DumpTree(std::string& out, const std::string& path, const RegNode& node, const RegNode& scopeRoot,
              const wchar_t* linkBase, int links = 0) {
    // Wine's own bookkeeping of system parameters comes and goes with windows.
    if (path == "HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters") return;
    if (node.link) {  // shown as what it leads to, as a walk through it sees it
        const RegNode* target = links < 8 ? LinkTarget(node, scopeRoot, linkBase) : nullptr;
        if (target) DumpTree(out, path, *target, scopeRoot, linkBase, links + 1);
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    // Each value line names its key, so that a comparison line by line
    // tells which key's value changed.
    const std::string key = "[" + path + "]";
    out += key;
    out += '\n';
    for (const auto& [name, value] : node.values) {
        out += key;
        out += " \"";
        for (wchar_t c : name) out += c < 128 ? char(c) : '?';
        out += "\"=";
        out += std::to_string(value.type);
        out += ':';
        size_t at = out.size();
        out.resize(at + value.data.size() * 2);
        for (BYTE b : value.data) out[at++] = hex[b >> 4], out[at++] = hex[b & 15];
        out += '\n';
    }
    for (const auto& [name, child] : node.subkeys) {
        DumpTree(out, path + "\\" + Narrow(name), child, scopeRoot, linkBase, links);
    }
}

std::string Dump(const std::vector<RegNode>& trees) {
    std::string out;
    out.reserve(16 << 20);
    DumpTree(out, "HKEY_CURRENT_USER", trees[0], trees[0], kScopes[0].linkBase);
    DumpTree(out, "HKEY_LOCAL_MACHINE\\Software", trees[1], trees[1], kScopes[1].linkBase);
    return out;
}

}  // namespace

bool SaveRegistrySnapshot(const std::string& file) {
    bool ok = false;
    const auto trees = SavedScopes(&ok);
    if (!ok) return false;
    std::string out;
    for (const auto& tree : trees) PutTree(out, tree);
    FILE* f = fopen(file.c_str(), "wb");
    if (!f) return false;
    const bool written = fwrite(out.data(), 1, out.size(), f) == out.size();
    return fclose(f) == 0 && written;
}

bool ResetRegistryToSnapshot(const std::string& file) {
    bool exists = false;
    const std::string in = ReadFileBytes(file, &exists);
    if (!exists) return false;
    Reader reader{in};
    std::vector<RegNode> trees(std::size(kScopes));
    for (auto& tree : trees) reader.Tree(tree);
    if (!reader.ok || reader.pos != in.size()) return false;
    bool ok = false;
    const auto live = SavedScopes(&ok);
    if (!ok) return false;
    for (size_t i = 0; i < std::size(kScopes); ++i) {
        UniqueKey key;
        if (RegOpenKeyExW(kScopes[i].root, kScopes[i].path, 0, KEY_ALL_ACCESS | kWholeRegistry, key.receive()) != ERROR_SUCCESS) {
            return false;
        }
        ResetKey(key.get(), L"", trees[i], &live[i], kScopes[i].skip);
    }
    return true;
}

std::string DumpRegistry() { return Dump(SavedScopes()); }

std::string DumpRegistryKeyByKey() {
    std::vector<RegNode> trees(std::size(kScopes));
    for (size_t i = 0; i < std::size(kScopes); ++i) {
        UniqueKey key;
        if (RegOpenKeyExW(kScopes[i].root, kScopes[i].path, 0, KEY_READ | kWholeRegistry, key.receive()) != ERROR_SUCCESS) continue;
        WalkTree(key.get(), trees[i], kScopes[i].skip);
    }
    return Dump(trees);
}
