#pragma once
// Counts every allocation of the global operator new in a benchmark program, so that a benchmark
// can report how many allocations the code it measures makes.

#include <cstddef>

namespace bench {

// Allocations made by operator new since the program started.
std::size_t AllocationCount() noexcept;

} // namespace bench
