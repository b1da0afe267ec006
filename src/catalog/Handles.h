#pragma once

#include <windows.h>
#include <msi.h>

#include <utility>

// Owns one handle and closes it exactly once; move-only.
template <typename Traits> class CUniqueHandle
{
  public:
    using Type = typename Traits::Type;

    CUniqueHandle() noexcept = default;
    explicit CUniqueHandle(Type handle) noexcept : m_handle(handle) {}
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { Reset(); }

    Type Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::Invalid(); }

    // For out-parameters: closes what is held and hands out the slot.
    Type* Put() noexcept
    {
        Reset();
        return &m_handle;
    }

    Type Release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }

    void Reset(Type handle = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

  private:
    Type m_handle = Traits::Invalid();
};

struct CRegKeyTraits
{
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type key) noexcept { RegCloseKey(key); }
};

// Process, thread, mutex and other handles whose failure value is null.
struct CKernelHandleTraits
{
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

// File and snapshot handles, whose failure value is INVALID_HANDLE_VALUE.
struct CFileHandleTraits
{
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct CFindHandleTraits
{
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { FindClose(handle); }
};

struct CMsiHandleTraits
{
    using Type = MSIHANDLE;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type handle) noexcept { MsiCloseHandle(handle); }
};

template <typename T> struct CLocalMemoryTraits
{
    using Type = T*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type memory) noexcept { LocalFree(memory); }
};

struct CLibraryTraits
{
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type module) noexcept { FreeLibrary(module); }
};

using CRegKeyHandle = CUniqueHandle<CRegKeyTraits>;
using CKernelHandle = CUniqueHandle<CKernelHandleTraits>;
using CFileHandle = CUniqueHandle<CFileHandleTraits>;
using CFindHandle = CUniqueHandle<CFindHandleTraits>;
using CMsiHandle = CUniqueHandle<CMsiHandleTraits>;
using CLibraryHandle = CUniqueHandle<CLibraryTraits>;
template <typename T> using CLocalMemory = CUniqueHandle<CLocalMemoryTraits<T>>;
