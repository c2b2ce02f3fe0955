// Small owners for Windows handles, so that every handle is closed on every
// path without CloseHandle ladders.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueOwner {
public:
    using Handle = typename Traits::Handle;
    UniqueOwner() = default;
    explicit UniqueOwner(Handle h) : h_(h) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, Traits::Invalid()));
        return *this;
    }
    ~UniqueOwner() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    Handle* receive() {
        reset();
        return &h_;
    }
    Handle release() { return std::exchange(h_, Traits::Invalid()); }
    // Closing keeps the last-error value, so that a failure read after an
    // owner goes out of scope is still the failure of the call before it.
    void reset(Handle h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(h_);
            SetLastError(lastError);
        }
        h_ = h;
    }

private:
    Handle h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // processes, threads, events: null when absent
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile results: INVALID_HANDLE_VALUE when absent
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

// Memory that a Windows function allocates with LocalAlloc for its caller
// (security descriptors, SIDs, ACLs, formatted messages).
template <typename Pointer>
struct LocalMemoryTraits {
    using Handle = Pointer;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(reinterpret_cast<HLOCAL>(h)); }
};
// A COM interface pointer: released, never deleted.
template <typename Interface>
struct ComTraits {
    using Handle = Interface*;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { h->Release(); }
};

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueToken = UniqueOwner<KernelHandleTraits>;
template <typename Pointer>
using UniqueLocal = UniqueOwner<LocalMemoryTraits<Pointer>>;
template <typename Interface>
using UniqueCom = UniqueOwner<ComTraits<Interface>>;
using UniqueFile = UniqueOwner<FileHandleTraits>;
using UniqueKey = UniqueOwner<RegKeyTraits>;
using UniqueModule = UniqueOwner<ModuleTraits>;

// The process and thread handles that CreateProcess hands back, each owned.
struct ProcessInformation {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
    DWORD threadId = 0;

    ProcessInformation() = default;
    explicit ProcessInformation(const PROCESS_INFORMATION& info)
        : process(info.hProcess), thread(info.hThread), processId(info.dwProcessId), threadId(info.dwThreadId) {}
};
