// How the cluster's browse grows with the resources of a Pacemaker cluster: reading cibadmin's
// answer into the cluster's objects, in this process, and the whole browse of the local cluster
// (keepctl BROWSESQLSERVERS -t 4), Pacemaker's own cibadmin and crm_node included, of clusters of
// hundreds and thousands of resources in groups of five: a failover instance, its address and
// three of the product's services.

#include "Cib.h"
#include "CibContents.h"
#include "common/StringUtils.h"
#include "keeplib/Exports.h"
#include "platform/cluster/ClusterSnapshot.h"
#include "testsupport/CibFiles.h"
#include "testsupport/RunProgram.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using testsupport::CibPrimitive;

testsupport::CibCluster LargeCluster(int nResources)
{
    testsupport::CibCluster cluster{"vcluster", {"node1", "node2", "node3"}, ""};
    for (int iGroup = 0; iGroup < nResources / 5; ++iGroup) {
        const std::string strGroup = std::to_string(iGroup);
        std::vector<std::string> primitives{
            CibPrimitive("SQL" + strGroup, "ocf:mssql:fci"),
            CibPrimitive("SQL" + strGroup + "-ip", "ocf:heartbeat:IPaddr2",
                         {{"ip", "192.0.2." + std::to_string(iGroup % 250)}, {"cidr_netmask", "24"}})};
        for (const char* szService : {"a", "b", "c"})
            primitives.push_back(CibPrimitive("velmora-" + strGroup + szService, "ocf:vestrel:velmora",
                                              {{"NetworkName", "MAIL" + strGroup + szService}, {"port", "25"}}));
        cluster.strResources += testsupport::CibGroup("rg-" + strGroup, primitives);
    }
    return cluster;
}

// cibadmin's answer made into the cluster's objects: parsed, mapped and presented.
void ReadCib(benchmark::State& state)
{
    const std::string strConfiguration = testsupport::CibConfiguration(LargeCluster(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        const platform::cluster::CibParse parse = platform::cluster::ParseCib(strConfiguration);
        if (!parse.cib) {
            state.SkipWithError(parse.strError.c_str());
            break;
        }
        const platform::cluster::CClusterSnapshot snapshot(platform::cluster::ContentsOfCib(*parse.cib));
        benchmark::DoNotOptimize(snapshot.Resources());
    }
    state.SetComplexityN(state.range(0));
    state.counters["bytes"] = static_cast<double>(strConfiguration.size());
}
BENCHMARK(ReadCib)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

// The browse of the local cluster, read from a CIB file by Pacemaker's tools.
void BrowseCluster(benchmark::State& state)
{
    const testsupport::ScratchFolder folder;
    const auto cib = folder.Write("cib.xml", testsupport::CibDocument(LargeCluster(static_cast<int>(state.range(0)))));
    const testsupport::CScopedCibEnvironment environment(cib, "node1");
    const std::wstring strList = NarrowToWide((folder.Path() / "servers.txt").string());
    for (auto _ : state) {
        if (KeeplibBrowseSQLServers(4, strList.c_str(), nullptr) != S_OK)
            state.SkipWithError("the browse failed");
    }
    if (testsupport::ReadFile(folder.Path() / "servers.txt").size() < static_cast<std::size_t>(state.range(0) / 5 * 5))
        state.SkipWithError("the browse listed too few servers");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BrowseCluster)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

BENCHMARK_MAIN();
