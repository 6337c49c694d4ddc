// Where the time of an import goes, one step at a time: the copy into the quarantine folder, a
// round trip to the substitute service on a private bus (with no work in the service, then with
// each of the two calls the import makes per file), and the service's own work, the quarantine
// reader and the database, measured in this process. The copy and the round trip make the import's
// floor: two round trips and one copy a file (bench/vaultfeed/run.sh).
//
//   import_steps_benchmark   (run from anywhere; it starts its own bus and service)

#include "BusLink.h"
#include "testsupport/PrivateBus.h"
#include "testsupport/RunProgram.h"
#include "tools/quarwriter/QuarFileWriter.h"
#include "tools/velmorasvc/QuarantineDatabase.h"
#include "vaultdump/QuarFileReader.h"
#include "vaultfeed/FileOperations.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace {

// A small item as a mail would be, with a few header lines.
std::string SmallQuarantineFile()
{
    QuarWriter::QuarFileLayout layout;
    layout.headerLines = {u"SRVMAILNODE", u"MSGinvoice 2024-01-01", u"VIRnone"};
    layout.strItem = std::string(2048, 'm');
    return QuarWriter::QuarFileBytes(layout);
}

void WriteFile(const std::filesystem::path& path, const std::string& strBytes)
{
    std::ofstream(path, std::ios::binary) << strBytes;
}

// The folders and the service shared by the steps, made once.
struct Setting
{
    Setting()
    {
        std::filesystem::create_directory(scratch.Path() / "quarantine");
        WriteFile(scratch.Path() / "Q.tmp", SmallQuarantineFile());
        WriteFile(scratch.Path() / "quarantine" / "Q.tmp", SmallQuarantineFile());
        WriteFile(scratch.Path() / "service.conf", "QuarantineFolder=" + (scratch.Path() / "quarantine").string() +
                                                       "\nDatabase=" + (scratch.Path() / "service.db").string() + "\n");
        ::setenv(Vaultfeed::Bus::kBusAddressVariable, bus.Address().c_str(), 1);
        service.emplace(VELMORASVC_PATH, std::vector<std::string>{(scratch.Path() / "service.conf").string()},
                        std::map<std::string, std::string>{}, testsupport::ErrorOutput::Test);
        service->ReadLine(std::chrono::seconds(30));
    }

    testsupport::ScratchFolder scratch;
    testsupport::CPrivateBus bus;
    std::optional<testsupport::CRunningProgram> service;
};

Setting& TheSetting()
{
    static Setting setting;
    return setting;
}

void CopyIntoTheQuarantineFolder(benchmark::State& state)
{
    const std::filesystem::path& folder = TheSetting().scratch.Path();
    std::filesystem::create_directory(folder / "copies");
    const std::string strSource = (folder / "Q.tmp").string();
    std::size_t nCopies = 0;
    for (auto _ : state) {
        const std::filesystem::path target = folder / "copies" / std::to_string(nCopies++);
        Vaultfeed::CMadeCopy copy;
        if (Vaultfeed::CopyFileNoReplace(strSource, target.string(), copy) != 0) {
            state.SkipWithError("the copy failed");
            break;
        }
    }
    std::filesystem::remove_all(folder / "copies");
}
BENCHMARK(CopyIntoTheQuarantineFolder);

// The quarantine importer of the service, through the bus.
struct Importer
{
    Importer()
        : pService(Vaultfeed::Bus::ConnectToService()),
          pRoot(Vaultfeed::CreateServiceObject<Vaultfeed::IServiceRoot>(*pService, Vaultfeed::CLSID_ServiceRoot))
    {
        Vaultfeed::UnknownPtr pObject;
        pRoot->GetQuarantineImport(pObject);
        pImport = Vaultfeed::QueryForInterface<Vaultfeed::IQuarantineImport>(pObject);
        pImport->CreateImportContext(pContext);
    }

    std::shared_ptr<Vaultfeed::IServiceConnection> pService;
    Vaultfeed::CServicePtr<Vaultfeed::IServiceRoot> pRoot;
    Vaultfeed::CServicePtr<Vaultfeed::IQuarantineImport> pImport;
    Vaultfeed::UnknownPtr pContext;
};

// A call that the service's bus library answers without any work of the service's own
// (org.freedesktop.DBus.Peer.Ping), over the connection the import uses.
void BusRoundTrip(benchmark::State& state)
{
    TheSetting();
    Vaultfeed::Bus::CBusLink link;
    if (link.Connect(Vaultfeed::Bus::ServiceBusAddress(),
                     Vaultfeed::Bus::CBusLink::Clock::now() + std::chrono::seconds(30)) < 0) {
        state.SkipWithError("no bus");
        return;
    }
    for (auto _ : state) {
        const Vaultfeed::Bus::MessagePtr call = link.NewCall(Vaultfeed::Bus::kServiceName, Vaultfeed::Bus::kObjectPath,
                                                             "org.freedesktop.DBus.Peer", "Ping");
        if (!call || !link.Call(call.get(), std::chrono::seconds(30)).Ok()) {
            state.SkipWithError("the ping failed");
            break;
        }
    }
}
BENCHMARK(BusRoundTrip);

void IsFileKnownOverTheBus(benchmark::State& state)
{
    TheSetting();
    Importer importer;
    for (auto _ : state) {
        platform::Variant varKnown;
        if (FAILED(importer.pImport->IsFileKnown(L"Q.tmp", varKnown))) {
            state.SkipWithError("the question failed");
            break;
        }
    }
}
BENCHMARK(IsFileKnownOverTheBus);

// Every iteration imports a file of a new name, copied from the same file outside the timing (a
// link would reach the file system's limit of links on a fast machine): the service reads it and
// records a row.
void ImportFileOverTheBus(benchmark::State& state)
{
    const std::filesystem::path quarantine = TheSetting().scratch.Path() / "quarantine";
    Importer importer;
    // The benchmark runs this more than once; the names go on counting.
    static std::size_t nFiles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::wstring strName = L"Q" + std::to_wstring(nFiles++) + L".tmp";
        std::filesystem::copy_file(quarantine / "Q.tmp", quarantine / strName);
        state.ResumeTiming();
        platform::Variant varResult;
        if (FAILED(importer.pImport->ImportFile(strName, L"MAILNODE", importer.pContext, varResult))) {
            state.SkipWithError("the import failed");
            break;
        }
    }
}
BENCHMARK(ImportFileOverTheBus);

void ReadTheHeader(benchmark::State& state)
{
    const std::string strPath = (TheSetting().scratch.Path() / "Q.tmp").string();
    for (auto _ : state) {
        Vaultdump::CQuarFileReader reader;
        std::vector<std::u16string> lines;
        if (FAILED(reader.Open(strPath.c_str(), true)) || FAILED(reader.ReadHeader(lines, 65536))) {
            state.SkipWithError("the header cannot be read");
            break;
        }
    }
}
BENCHMARK(ReadTheHeader);

void DatabaseFindItem(benchmark::State& state)
{
    Velmorasvc::CQuarantineDatabase database(TheSetting().scratch.Path() / "steps.db");
    for (auto _ : state)
        benchmark::DoNotOptimize(database.FindItem(L"Q.tmp"));
}
BENCHMARK(DatabaseFindItem);

void DatabaseAddItem(benchmark::State& state)
{
    Velmorasvc::CQuarantineDatabase database(TheSetting().scratch.Path() / "steps.db");
    const std::int32_t lRunId = database.AddRun();
    static std::size_t nItems = 0;
    for (auto _ : state) {
        database.AddItem({L"Q" + std::to_wstring(nItems++) + L".tmp",
                          L"MAILNODE",
                          lRunId,
                          L"HED0003" + std::wstring(22, L' '),
                          {L"SRVMAILNODE", L"MSGinvoice 2024-01-01", L"VIRnone"},
                          2048});
    }
}
BENCHMARK(DatabaseAddItem);

} // namespace
BENCHMARK_MAIN();
