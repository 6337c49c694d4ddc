#pragma once
// Owners of operating-system handles: each closes what it holds when it goes out of scope.

#include <cstdio>
#include <unistd.h>
#include <utility>

namespace UTIL {

// Owns one handle; Traits names the empty value and how to close one.
template <class Traits> class CUniqueHandle
{
public:
    using handle_type = typename Traits::handle_type;

    CUniqueHandle() noexcept = default;
    explicit CUniqueHandle(handle_type h) noexcept : m_h(h) {}
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { Reset(); }

    handle_type Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    handle_type Release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(handle_type h = Traits::Invalid()) noexcept
    {
        const handle_type hOld = std::exchange(m_h, h);
        if (hOld != Traits::Invalid() && hOld != h)
            Traits::Close(hOld);
    }

private:
    handle_type m_h = Traits::Invalid();
};

struct StdFileTraits
{
    using handle_type = std::FILE*;
    static constexpr handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { std::fclose(h); }
};

struct FileDescriptorTraits
{
    using handle_type = int;
    static constexpr handle_type Invalid() noexcept { return -1; }
    static void Close(handle_type h) noexcept { ::close(h); }
};

// A C library stream.
using CAutoStdFileHandle = CUniqueHandle<StdFileTraits>;
// An open file of the operating system.
using CAutoFileHandle = CUniqueHandle<FileDescriptorTraits>;

} // namespace UTIL

using UTIL::CAutoFileHandle;
using UTIL::CAutoStdFileHandle;
