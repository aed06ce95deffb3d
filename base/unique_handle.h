#pragma once
#include <windows.h>

#include <utility>

// Move-only owner of one Win32 handle: closed exactly once, never when it was never opened.
template <typename Traits> class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::invalid(); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership: the handle stays open and is the caller's now.
    Handle release() { return std::exchange(handle_, Traits::invalid()); }

    void reset(Handle h = Traits::invalid()) {
        if (valid()) Traits::close(handle_);
        handle_ = h;
    }

  private:
    Handle handle_ = Traits::invalid();
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CloseHandle(h); }
};

struct MappedViewTraits {
    using Handle = const void*;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { UnmapViewOfFile(h); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueView = UniqueHandle<MappedViewTraits>;
