// What a trace call costs: one below the log level (a comparison, no formatting), and one that
// writes its line to the file. The allocations counter shows that neither touches the heap.

#include "common/ICDebug.h"
#include "platform/Registry.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

namespace {

std::atomic<std::size_t> g_nAllocations{0};

std::string SettingsText(const std::string& strValues)
{
    return "[HKEY_LOCAL_MACHINE\\Bench]\r\n\"OutputToDebugger\"=dword:0\r\n" + strValues;
}

// Runs one trace call per iteration and reports the heap allocations made per call.
template <class Call>
void MeasureCalls(benchmark::State& state, ICDebug& log, Call&& call)
{
    call(log); // the first line of a thread sets up its nesting depth
    const std::size_t nBefore = g_nAllocations.load();
    for (auto _ : state)
        call(log);
    state.counters["allocations_per_call"] =
        static_cast<double>(g_nAllocations.load() - nBefore) / static_cast<double>(state.iterations());
}

void FilteredCall(benchmark::State& state)
{
    ICDebug log(L"Bench", platform::Registry::FromText(SettingsText("\"OutputToFile\"=dword:0\r\n\"LogLevel\"=dword:5b\r\n")));
    MeasureCalls(state, log, [](ICDebug& l) { l.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"lType=%ld", 2L); });
}
BENCHMARK(FilteredCall);

void WrittenLine(benchmark::State& state)
{
    const std::string strBase = (std::filesystem::temp_directory_path() / "vestrel-trace-bench").string();
    std::wstring strFile;
    {
        ICDebug log(L"Bench", platform::Registry::FromText(SettingsText("\"TraceFileName\"=\"" + strBase + "\"\r\n"
                                                                        "\"WantIndent\"=dword:1\r\n")));
        strFile = log.FileName();
        MeasureCalls(state, log, [](ICDebug& l) {
            l.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"pstrServerName=%ls", L"SQL01\\VELMORA");
        });
    }
    std::filesystem::remove(std::string(strFile.begin(), strFile.end()));
}
BENCHMARK(WrittenLine);

} // namespace

void* operator new(std::size_t cb)
{
    ++g_nAllocations;
    if (void* p = std::malloc(cb ? cb : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

BENCHMARK_MAIN();
