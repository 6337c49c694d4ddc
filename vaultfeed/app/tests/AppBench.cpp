#include "AppBench.h"

#include "TestFolders.h"

#include <QTest>

namespace VaultfeedAppTests {

void CRecordingMessageBoxes::ShowExclamation(QWidget* /*pParent*/, const QString& strText)
{
    shown.append(QStringLiteral("exclamation: ") + strText);
}

bool CRecordingMessageBoxes::AskYesNo(QWidget* /*pParent*/, const QString& strText)
{
    shown.append(QStringLiteral("question: ") + strText);
    return answer();
}

void CGate::Wait()
{
    // A test that forgot to open it fails instead of hanging.
    std::unique_lock lock(m_mutex);
    m_opened.wait_for(lock, std::chrono::minutes(1), [this] { return m_bOpen; });
}

void CGate::Open()
{
    const std::lock_guard lock(m_mutex);
    m_bOpen = true;
    m_opened.notify_all();
}

CAppBench::CAppBench()
{
    std::filesystem::create_directory(Quarantine());
    m_pService->SetQuarantineFolder(VaultfeedTests::WidePath(Quarantine()));
}

void CAppBench::InstallCluster(testsupport::MemoryCluster cluster)
{
    m_cluster.emplace(std::move(cluster));
}

void CAppBench::ReadClusterFrom(const std::filesystem::path& cib, const std::string& strLocalNode)
{
    m_noCluster.reset();
    m_cib.emplace(cib, strLocalNode);
}

std::filesystem::path CAppBench::SourceFolder(const std::string& strName, int nFiles) const
{
    const std::filesystem::path folder = m_scratch.Path() / strName;
    std::filesystem::create_directory(folder);
    for (int i = 1; i <= nFiles; ++i)
        VaultfeedTests::WriteFile(folder / VaultfeedTests::QuarantineName(i), "item " + std::to_string(i));
    return folder;
}

testsupport::MemoryCluster ClusterOf(std::vector<testsupport::MemoryResource> resources)
{
    testsupport::MemoryCluster cluster;
    cluster.groups.push_back({L"Velmora group", std::move(resources)});
    return cluster;
}

testsupport::MemoryResource ProductResource(std::wstring strName, std::wstring strNetworkName)
{
    return {std::move(strName),
            L"Velmora service 4.1.0.0",
            {{L"NetworkName", platform::Variant::String(std::move(strNetworkName))}}};
}

std::vector<std::string> Arguments(const QStringList& arguments)
{
    std::vector<std::string> result;
    for (const QString& strArgument : arguments)
        result.push_back(strArgument.toStdString());
    return result;
}

bool WaitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 60'000);
}

} // namespace VaultfeedAppTests
