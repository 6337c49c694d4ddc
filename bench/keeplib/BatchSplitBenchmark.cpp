// How fast the largest schema script is cut into batches: one forward pass, one copy per batch.

#include "database/DBScriptHelper.h"

#include <benchmark/benchmark.h>

namespace {

void SplitReportingScript(benchmark::State& state)
{
    std::wstring strScript;
    DBScriptHelper::LoadScript(104, strScript);
    for (auto _ : state) {
        const wchar_t* pCursor = strScript.c_str();
        std::wstring strBatch;
        int nBatches = 0;
        while (DBScriptHelper::GetNextBatch(pCursor, strBatch) == S_OK)
            ++nBatches;
        benchmark::DoNotOptimize(nBatches);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(strScript.size() * sizeof(wchar_t)));
    state.counters["characters"] = static_cast<double>(strScript.size());
}
BENCHMARK(SplitReportingScript);

} // namespace

BENCHMARK_MAIN();
