#pragma once
// The substitute service on a private bus of the test's own, serving a quarantine folder and a
// database in a scratch folder; and quarantine files as the writer lays them out.

#include "testsupport/PrivateBus.h"
#include "testsupport/RunProgram.h"

#include "common/HandleOwners.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace VaultfeedTests {

// A quarantine file holding the item, with the header lines given (UTF-8 text).
std::string QuarantineFile(const std::string& strItem, const std::vector<std::string>& headerLines = {});
// A file whose header counts two lines and ends inside the first: damaged.
std::string DamagedQuarantineFile();

class CServiceBench
{
public:
    // Starts the bus and the service, and points this process's service connections at the bus.
    CServiceBench();
    ~CServiceBench();
    CServiceBench(const CServiceBench&) = delete;
    CServiceBench& operator=(const CServiceBench&) = delete;

    std::filesystem::path Folder(const std::string& strName) const;
    std::filesystem::path Quarantine() const { return Folder("quarantine"); }
    // What a program run against the bus needs in its environment.
    std::map<std::string, std::string> Environment() const;

    void StartService();
    // Stops the service with the signal; its exit status, or -1 when the signal ended it.
    int StopService(int iSignal);
    // Restarts the service with a gate before its imports: each one says it has come with the
    // service's line "velmorasvc: importing NAME", and waits until the test lets it through.
    void GateImports();
    void LetAnImportThrough();
    // The service's next line, waiting at most the given time; nothing when none came.
    std::optional<std::string> ServiceLine(std::chrono::milliseconds wait);

    // The recorded files, by name: "FileName|NetworkName|RunId|HedLine|HeaderLineCount|HeaderLines|
    // ContentLength", line ends shown as "\n".
    std::vector<std::string> Rows() const;

private:
    void WriteConfiguration(const std::string& strMoreLines);

    testsupport::ScratchFolder m_scratch;
    testsupport::CPrivateBus m_bus;
    CAutoFileHandle m_gate; // the writing end of the import gate, once there is one
    std::optional<testsupport::CRunningProgram> m_service;
};

} // namespace VaultfeedTests
