#pragma once
// What the window tests share: the application object over the in-process fake service, this
// computer's name from a fake network, no cluster unless a test makes the computer a node of one,
// message boxes that a test answers, and scratch folders of quarantine files.

#include "FakeService.h"
#include "testsupport/CibFiles.h"
#include "testsupport/FakeNetApi.h"
#include "testsupport/MemoryCluster.h"
#include "testsupport/RunProgram.h"
#include "vaultfeed/app/MessageBoxes.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QStringList>
#include <QWidget>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace VaultfeedAppTests {

// Every message box shown, as "exclamation: TEXT" or "question: TEXT"; questions are answered
// by answer, No unless a test says otherwise.
class CRecordingMessageBoxes : public Vaultfeed::IMessageBoxes
{
public:
    void ShowExclamation(QWidget* pParent, const QString& strText) override;
    bool AskYesNo(QWidget* pParent, const QString& strText) override;

    QStringList shown;
    std::function<bool()> answer = [] { return false; };
};

// Holds whoever waits until a test opens it (at most a minute): a service call kept from answering.
class CGate
{
public:
    void Wait();
    void Open();

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_bOpen = false;
};

class CAppBench
{
public:
    CAppBench();

    // From now on creating the cluster object gives this cluster: this computer is its node when it opens.
    void InstallCluster(testsupport::MemoryCluster cluster = {});
    // From now on the cluster is Pacemaker's, read by its own tools from that CIB file, and this
    // computer is its node of that name.
    void ReadClusterFrom(const std::filesystem::path& cib, const std::string& strLocalNode);
    // A new folder below the scratch folder holding files Q1.tmp to Qn.tmp.
    std::filesystem::path SourceFolder(const std::string& strName, int nFiles) const;
    std::filesystem::path Quarantine() const { return m_scratch.Path() / "quarantine"; }

    testsupport::ScratchFolder m_scratch;
    const std::shared_ptr<VaultfeedTests::CFakeService> m_pService = std::make_shared<VaultfeedTests::CFakeService>();
    const std::shared_ptr<testsupport::CFakeNetApi> m_pNetApi = std::make_shared<testsupport::CFakeNetApi>();
    const platform::netapi::CScopedNetApi m_netApi{m_pNetApi};
    CRecordingMessageBoxes m_messageBoxes;
    Vaultfeed::CVaultfeedApp m_app{m_pService, m_messageBoxes};

private:
    // Whatever cluster the machine running the tests belongs to, the windows see none of it.
    std::optional<platform::cluster::CScopedClusterFactory> m_noCluster{
        std::in_place, [](std::shared_ptr<platform::cluster::ISCluster>&) { return REGDB_E_CLASSNOTREG; }};
    std::optional<testsupport::CScopedMemoryCluster> m_cluster;
    std::optional<testsupport::CScopedCibEnvironment> m_cib;
};

// A cluster of one group holding the resources.
testsupport::MemoryCluster ClusterOf(std::vector<testsupport::MemoryResource> resources);
// A resource of the product's type, running under the network name given.
testsupport::MemoryResource ProductResource(std::wstring strName, std::wstring strNetworkName);

// The arguments of a command line, as the program reads them.
std::vector<std::string> Arguments(const QStringList& arguments);

// Waits, handling events, until the condition holds; false when it still does not after a minute.
bool WaitFor(const std::function<bool()>& condition);

// The child of that name and type, which a test cannot do without.
template <class W> W& Child(const QWidget& parent, const char* szName)
{
    W* pChild = parent.findChild<W*>(QString::fromLatin1(szName));
    if (!pChild)
        throw std::logic_error(std::string("no child named ") + szName);
    return *pChild;
}

} // namespace VaultfeedAppTests
