// What a trace call costs: one below the log level (a comparison, no formatting), one with both
// outputs off, a line for the debugger output alone, and one that writes its line to the file.
// The allocations counter shows that none touches the heap.

#include "bench/support/AllocationCounter.h"
#include "platform/Registry.h"
#include "trace/ICDebug.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

std::string SettingsText(const std::string& strValues)
{
    return "[HKEY_LOCAL_MACHINE\\Bench]\r\n\"OutputToDebugger\"=dword:0\r\n" + strValues;
}

// Runs one trace call per iteration and reports the heap allocations made per call.
template <class Call> void MeasureCalls(benchmark::State& state, ICDebug& log, Call&& call)
{
    call(log); // the first line of a thread sets up its nesting depth
    const std::size_t nBefore = bench::AllocationCount();
    for (auto _ : state)
        call(log);
    state.counters["allocations_per_call"] =
        static_cast<double>(bench::AllocationCount() - nBefore) / static_cast<double>(state.iterations());
}

void FilteredCall(benchmark::State& state)
{
    ICDebug log(L"Bench",
                platform::Registry::FromText(SettingsText("\"OutputToFile\"=dword:0\r\n\"LogLevel\"=dword:5b\r\n")));
    MeasureCalls(state, log, [](ICDebug& l) { l.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"lType=%ld", 2L); });
}
BENCHMARK(FilteredCall);

// A call at a level that is written, with both outputs off: nothing to format for.
void NoOutputCall(benchmark::State& state)
{
    ICDebug log(L"Bench", platform::Registry::FromText(SettingsText("\"OutputToFile\"=dword:0\r\n")));
    MeasureCalls(state, log, [](ICDebug& l) { l.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"lType=%ld", 2L); });
}
BENCHMARK(NoOutputCall);

// A line for the debugger output alone: syslog, however this machine provides it (or not).
void DebuggerLine(benchmark::State& state)
{
    ICDebug log(L"Bench", platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Bench]\r\n\"OutputToFile\"=dword:0\r\n"));
    MeasureCalls(state, log, [](ICDebug& l) {
        l.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"pstrServerName=%ls", L"SQL01\\VELMORA");
    });
}
BENCHMARK(DebuggerLine);

void WrittenLine(benchmark::State& state)
{
    const std::string strBase = (std::filesystem::temp_directory_path() / "vestrel-trace-bench").string();
    std::wstring strFile;
    {
        ICDebug log(L"Bench", platform::Registry::FromText(SettingsText("\"TraceFileName\"=\"" + strBase +
                                                                        "\"\r\n"
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

BENCHMARK_MAIN();
