// What reading the registry file costs as it grows: a file of keys, half of them deleted again by
// [-key] lines (the worst shape for deletion), parsed from its text; and the machine's file asked
// for again, as every trace log, connection and browse of a process asks for it.

#include "platform/Registry.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string ExportWithDeletions(int cKeys)
{
    std::string strText = "Windows Registry Editor Version 5.00\r\n\r\n";
    char szLine[160];
    for (int i = 0; i < cKeys; ++i) {
        std::snprintf(szLine, sizeof szLine,
                      "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Bench\\Key%06d]\r\n\"Value\"=\"text %d\"\r\n", i, i);
        strText += szLine;
        if (i % 2 == 1) {
            std::snprintf(szLine, sizeof szLine, "[-HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Bench\\Key%06d]\r\n", i / 2);
            strText += szLine;
        }
    }
    return strText;
}

void ParseWithDeletions(benchmark::State& state)
{
    const std::string strText = ExportWithDeletions(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::Registry::FromText(strText));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * strText.size()));
    state.counters["file_bytes"] = static_cast<double>(strText.size());
}
// 1,000 to 40,000 keys: 100 KB up to nearly the largest file that is read (4 MiB).
BENCHMARK(ParseWithDeletions)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(40000)->Unit(benchmark::kMillisecond);

void MachineFileAskedAgain(benchmark::State& state)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "vestrel-registry-bench.reg";
    std::ofstream(file, std::ios::binary) << ExportWithDeletions(40000);
    ::setenv("VESTREL_REGISTRY_FILE", file.c_str(), 1);
    platform::Registry::LoadMachine();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::Registry::LoadMachine());
    ::unsetenv("VESTREL_REGISTRY_FILE");
    std::filesystem::remove(file);
}
BENCHMARK(MachineFileAskedAgain)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
