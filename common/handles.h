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
    void reset(Handle h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
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

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueFile = UniqueOwner<FileHandleTraits>;
using UniqueKey = UniqueOwner<RegKeyTraits>;
using UniqueModule = UniqueOwner<ModuleTraits>;
