#pragma once
// One small owning type per handle kind, and a scope guard for one-off cleanups.

#include <windows.h>

#include <utility>

template <class Handle, auto Close, auto Invalid = nullptr>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, InvalidValue())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, InvalidValue()));
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    Handle* put() {
        reset();
        return &handle_;
    }
    void reset(Handle handle = InvalidValue()) {
        if (handle_ != InvalidValue() && handle_ != Handle{}) Close(handle_);
        handle_ = handle;
    }
    explicit operator bool() const { return handle_ != InvalidValue() && handle_ != Handle{}; }

  private:
    static Handle InvalidValue() {
        if constexpr (std::is_same_v<decltype(Invalid), std::nullptr_t>)
            return Handle{};
        else
            return reinterpret_cast<Handle>(Invalid);
    }
    Handle handle_ = InvalidValue();
};

inline constexpr INT_PTR kInvalidHandleValue = -1;
using UniqueFile = UniqueHandle<HANDLE, CloseHandle, kInvalidHandleValue>;
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle>;
using UniqueKey = UniqueHandle<HKEY, RegCloseKey>;
using UniqueFindHandle = UniqueHandle<HANDLE, FindClose, kInvalidHandleValue>;
using UniqueFont = UniqueHandle<HFONT, DeleteObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteObject>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteObject>;
using UniqueCursor = UniqueHandle<HCURSOR, DestroyCursor>;
using UniqueChangeNotification = UniqueHandle<HANDLE, FindCloseChangeNotification, kInvalidHandleValue>;
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, CloseServiceHandle>;
// Memory the system allocated for the caller with LocalAlloc (messages, security descriptors).
using UniqueLocalMemory = UniqueHandle<HLOCAL, LocalFree>;

template <class F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { f_(); }

  private:
    F f_;
};
