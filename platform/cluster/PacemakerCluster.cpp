#include "PacemakerCluster.h"

#include "CibContents.h"
#include "common/StringUtils.h"
#include "platform/DebugOutput.h"
#include "platform/Win32Error.h"
#include "platform/cluster/ClusterSnapshot.h"

#include <new>
#include <optional>

#include <unistd.h>

namespace platform::cluster {
namespace {

class CPacemakerCluster : public ISCluster
{
public:
    explicit CPacemakerCluster(PacemakerTools tools) : m_tools(std::move(tools)) {}

    HRESULT Open(const std::wstring& bstrClusterName) override
    {
        m_snapshot.reset();
        m_hrContents = E_UNEXPECTED;
        try {
            return Read(bstrClusterName);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT get_ResourceGroups(std::shared_ptr<ISClusResGroups>* ppGroups) override
    {
        return Answer(&CClusterSnapshot::ResourceGroups, ppGroups);
    }
    HRESULT get_Resources(std::shared_ptr<ISClusResources>* ppResources) override
    {
        return Answer(&CClusterSnapshot::Resources, ppResources);
    }
    HRESULT get_Nodes(std::shared_ptr<ISClusNodes>* ppNodes) override
    {
        return Answer(&CClusterSnapshot::Nodes, ppNodes);
    }

private:
    HRESULT Read(const std::wstring& bstrClusterName)
    {
        const LocalCib local = ReadLocalCib(m_tools);
        switch (local.state) {
        case LocalCib::State::NotRunning:
            return HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE);
        case LocalCib::State::NotANode:
            return HRESULT_FROM_WIN32(ERROR_CLUSTER_NODE_NOT_MEMBER);
        case LocalCib::State::Unreadable:
            // The caller learns the code; whoever looks after the computer learns why.
            OutputDebugStringA("The cluster information base cannot be read: " + local.strWhy + "\n");
            m_hrContents = local.hrUnreadable;
            return bstrClusterName.empty() ? S_OK : m_hrContents;
        case LocalCib::State::Node:
            break;
        }
        if (!bstrClusterName.empty() &&
            !UTIL::STR::EqualsNoCase(bstrClusterName, NarrowToWide(local.cib.clusterName.value_or(std::string()))))
            return HRESULT_FROM_WIN32(ERROR_CLUSTER_NODE_NOT_MEMBER);
        m_snapshot.emplace(ContentsOfCib(local.cib));
        m_hrContents = S_OK;
        return S_OK;
    }

    template <class Collection>
    HRESULT Answer(const std::shared_ptr<Collection>& (CClusterSnapshot::*collection)() const,
                   std::shared_ptr<Collection>* ppCollection) const
    {
        if (!m_snapshot)
            return m_hrContents;
        *ppCollection = ((*m_snapshot).*collection)();
        return S_OK;
    }

    PacemakerTools m_tools;
    HRESULT m_hrContents = E_UNEXPECTED; // what the collections answer without a snapshot
    std::optional<CClusterSnapshot> m_snapshot;
};

} // namespace

HRESULT CreatePacemakerCluster(const PacemakerTools& tools, std::shared_ptr<ISCluster>& pCluster)
{
    pCluster.reset();
    if (::access(tools.cibadmin.c_str(), X_OK) != 0)
        return REGDB_E_CLASSNOTREG;
    pCluster = std::make_shared<CPacemakerCluster>(tools);
    return S_OK;
}

} // namespace platform::cluster
