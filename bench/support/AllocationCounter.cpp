#include "bench/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacement operators live in a file of their own: where the compiler sees them inlined
// beside their callers, it takes the malloc inside operator new and the free inside operator
// delete for a mismatched pair.

namespace {

std::atomic<std::size_t> g_nAllocations{0};

} // namespace

std::size_t bench::AllocationCount() noexcept
{
    return g_nAllocations.load();
}

void* operator new(std::size_t cb)
{
    ++g_nAllocations;
    if (void* p = std::malloc(cb ? cb : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
