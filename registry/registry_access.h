// The only way the launcher touches the registry (a few steps that say so go
// direct). Every primitive opens and closes its own keys and returns a
// Windows error code: 0 on success, 13 for a value of the wrong type or form,
// otherwise the failing call's code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "common/handles.h"
#include "common/registry_view.h"
#include "common/registry_roots.h"

constexpr DWORD kKeyRead = KEY_READ;                // 0x20019
constexpr DWORD kKeyReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F
constexpr DWORD kMaxStringBytes = 4096;

// Opens root\keyPath in its view (common/registry_view.h); the Windows error code.
std::uint32_t OpenKey(HKEY root, const std::string& keyPath, DWORD rights, UniqueKey& key);

// The predefined handle of a root.
HKEY RootHandle(RegRoot root);
// "HKEY_CLASSES_ROOT" and the other three full names; empty for any other handle.
std::string RootKeyName(HKEY root);
// "HKLM\" and "HKCU\" (case-sensitive) select their root and are removed;
// anything else is below HKEY_LOCAL_MACHINE unchanged.
std::pair<HKEY, std::string> SplitRootPrefix(const std::string& keyPath);

// REG_SZ or REG_EXPAND_SZ (unexpanded) of at most 4096 bytes; out (and the
// type, when asked for) is set only on success.
std::uint32_t ReadRegString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string& out,
                            DWORD* type = nullptr);
std::uint32_t ReadRegDword(HKEY root, const std::string& keyPath, const std::string& valueName, std::uint32_t& out);
// REG_SZ (or REG_EXPAND_SZ when asked) with its terminator. Without
// createIfMissing a missing key fails with 2 and nothing is created.
std::uint32_t WriteRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                             const std::string& text, bool createIfMissing, DWORD type = REG_SZ);
// A value of any type and size, byte for byte.
std::uint32_t ReadRegRaw(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD& type,
                         std::string& data);
std::uint32_t WriteRegRaw(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                          const std::string& data);
// A value's type and its bytes exactly as the registry stores them (strings
// as UTF-16, whatever the ANSI code page), of any size: what the wide
// registry functions read. The captured values travel in this form, so that
// text in any script comes back unchanged.
std::uint32_t ReadRegStored(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD& type,
                            std::string& bytes);
// The same from a key already open for reading.
std::uint32_t QueryRegStored(HKEY key, const std::string& valueName, DWORD& type, std::string& bytes);
// Stores exactly these bytes with this type, adding no string terminator;
// the key is created when missing.
std::uint32_t WriteRegStored(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                             const std::string& bytes);
// ANSI text (key paths, value names, captured text) in UTF-16, converted as
// the ANSI registry functions convert it.
std::wstring WideFromAnsi(const std::string& text);
// The key is created when missing.
std::uint32_t WriteRegDword(HKEY root, const std::string& keyPath, const std::string& valueName, std::uint32_t value);
// How many trailing keys of the path do not exist (0 when the key does).
int CountMissingKeys(HKEY root, const std::string& keyPath);
// Deletes the value, then up to that many trailing keys of the path, each
// only while it holds no value and no subkey: keys someone else has written
// to since stay.
void DeleteValueAndEmptyKeys(HKEY root, const std::string& keyPath, const std::string& valueName, int keys);
// Deletes parent\subkey with everything below it, deepest keys first.
std::uint32_t DeleteKeyTree(HKEY parent, const std::string& subkey);
std::uint32_t DeleteClassesTree(const std::string& keyPath);
// The value at index 0 of HKEY_LOCAL_MACHINE\keyPath: name, type, and data
// into the caller's buffer (dataSize in: buffer size, out: data size).
std::uint32_t ReadFirstMachineValue(const std::string& keyPath, std::string& name, DWORD& type, BYTE* data,
                                    DWORD& dataSize);
