// How the local-computer browse grows with the SQL Server keys of the registry: a hundred times
// the usual thirty keys must stay a matter of milliseconds, not of a walk over every key for
// every key.

#include "common/StringUtils.h"
#include "keeplib/Exports.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// A registry of instance keys, each with the subkeys an installation has.
std::filesystem::path WriteRegistry(const std::filesystem::path& folder, int nInstances)
{
    const auto file = folder / ("instances-" + std::to_string(nInstances) + ".reg");
    std::ofstream out(file);
    out << "Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; i < nInstances; ++i) {
        const std::string strKey =
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL." + std::to_string(i);
        out << strKey << "]\r\n@=\"INST" << i << "\"\r\n"
            << strKey << "\\MSSQLServer\\CurrentVersion]\r\n"
            << strKey << "\\Setup]\r\n"
            << strKey << "\\CPE]\r\n\"CollectorParameters\"=\"x\"\r\n";
    }
    return file;
}

void BrowseLocalComputer(benchmark::State& state)
{
    const auto folder = std::filesystem::temp_directory_path() / "local-instances-benchmark";
    std::filesystem::create_directories(folder);
    ::setenv("VESTREL_REGISTRY_FILE", WriteRegistry(folder, static_cast<int>(state.range(0))).c_str(), 1);
    const std::wstring strList = NarrowToWide((folder / "servers.txt").string());
    for (auto _ : state) {
        if (KeeplibBrowseSQLServers(2, strList.c_str(), nullptr) != S_OK)
            state.SkipWithError("the browse failed");
    }
    state.SetComplexityN(state.range(0));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BrowseLocalComputer)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

BENCHMARK_MAIN();
