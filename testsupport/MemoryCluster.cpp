#include "testsupport/MemoryCluster.h"

#include "platform/cluster/ClusterSnapshot.h"

namespace testsupport {
namespace {

using namespace platform::cluster;
using platform::Variant;

// The calls made to fail: the cluster's, and each resource's own (found by its name).
class CFailures
{
public:
    explicit CFailures(const MemoryCluster& cluster) : m_failures(cluster.failures)
    {
        for (const MemoryGroup& group : cluster.groups) {
            for (const MemoryResource& resource : group.resources)
                m_resourceFailures.emplace(resource.strName, resource.failures);
        }
    }

    HRESULT Of(const std::string& strCall, const std::wstring* pstrResource = nullptr) const
    {
        if (pstrResource) {
            const auto resource = m_resourceFailures.find(*pstrResource);
            if (resource != m_resourceFailures.end()) {
                if (const auto own = resource->second.find(strCall); own != resource->second.end())
                    return own->second;
            }
        }
        const auto failure = m_failures.find(strCall);
        return failure == m_failures.end() ? S_OK : failure->second;
    }

private:
    std::map<std::string, HRESULT> m_failures;
    std::map<std::wstring, std::map<std::string, HRESULT>> m_resourceFailures;
};
using FailuresPtr = std::shared_ptr<const CFailures>;

// Each object below answers the failure made for a call, and otherwise the snapshot's answer,
// with the objects it hands out wrapped in turn.
std::shared_ptr<ISClusProperty> Wrap(std::shared_ptr<ISClusProperty> pInner, const FailuresPtr& pFailures);
std::shared_ptr<ISClusProperties> Wrap(std::shared_ptr<ISClusProperties> pInner, const FailuresPtr& pFailures);
std::shared_ptr<ISClusResource> Wrap(std::shared_ptr<ISClusResource> pInner, const FailuresPtr& pFailures);
std::shared_ptr<ISClusResGroup> Wrap(std::shared_ptr<ISClusResGroup> pInner, const FailuresPtr& pFailures);
std::shared_ptr<ISClusNode> Wrap(std::shared_ptr<ISClusNode> pInner, const FailuresPtr& pFailures);

template <class Interface> class CFailing : public Interface
{
public:
    CFailing(std::shared_ptr<Interface> pInner, FailuresPtr pFailures)
        : m_pInner(std::move(pInner)), m_pFailures(std::move(pFailures))
    {
    }

protected:
    // The inner object's answer, unless the call is made to fail; what it hands out, wrapped.
    template <class Out, class Call>
    HRESULT Forward(const std::string& strCall, std::shared_ptr<Out>* ppOut, Call call,
                    const std::wstring* pstrResource = nullptr) const
    {
        if (const HRESULT hr = m_pFailures->Of(strCall, pstrResource); FAILED(hr))
            return hr;
        std::shared_ptr<Out> pOut;
        const HRESULT hr = call(*m_pInner, &pOut);
        if (SUCCEEDED(hr))
            *ppOut = Wrap(std::move(pOut), m_pFailures);
        return hr;
    }

    template <class Value, class Call>
    HRESULT Answer(const std::string& strCall, Value* pValue, Call call,
                   const std::wstring* pstrResource = nullptr) const
    {
        if (const HRESULT hr = m_pFailures->Of(strCall, pstrResource); FAILED(hr))
            return hr;
        return call(*m_pInner, pValue);
    }

    std::shared_ptr<Interface> m_pInner;
    FailuresPtr m_pFailures;
};

template <class Item> class CFailingCollection : public CFailing<IClusCollection<Item>>
{
public:
    CFailingCollection(std::string strInterface, std::shared_ptr<IClusCollection<Item>> pInner, FailuresPtr pFailures)
        : CFailing<IClusCollection<Item>>(std::move(pInner), std::move(pFailures)),
          m_strInterface(std::move(strInterface))
    {
    }
    HRESULT get_Count(std::int32_t* plCount) override
    {
        return this->Answer(m_strInterface + "->get_Count", plCount,
                            [](auto& inner, std::int32_t* pl) { return inner.get_Count(pl); });
    }
    HRESULT get_Item(const Variant& index, std::shared_ptr<Item>* ppItem) override
    {
        return this->Forward(m_strInterface + "->get_Item", ppItem,
                             [&index](auto& inner, std::shared_ptr<Item>* pp) { return inner.get_Item(index, pp); });
    }

private:
    std::string m_strInterface;
};

class CFailingProperty : public CFailing<ISClusProperty>
{
public:
    using CFailing::CFailing;
    HRESULT get_Value(Variant* pValue) override
    {
        return Answer("ISClusProperty->get_Value", pValue, [](auto& inner, Variant* p) { return inner.get_Value(p); });
    }
};

class CFailingProperties : public CFailing<ISClusProperties>
{
public:
    using CFailing::CFailing;
    HRESULT get_Item(const Variant& index, std::shared_ptr<ISClusProperty>* ppProperty) override
    {
        return Forward(
            "ISClusProperties->get_Item", ppProperty,
            [&index](auto& inner, std::shared_ptr<ISClusProperty>* pp) { return inner.get_Item(index, pp); });
    }
};

class CFailingResource : public CFailing<ISClusResource>
{
public:
    CFailingResource(std::shared_ptr<ISClusResource> pInner, FailuresPtr pFailures)
        : CFailing(std::move(pInner), std::move(pFailures))
    {
        m_pInner->get_Name(&m_strName);
    }
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        return Answer(
            "ISClusResource->get_Name", pbstrName, [](auto& inner, std::wstring* p) { return inner.get_Name(p); },
            &m_strName);
    }
    HRESULT get_TypeName(std::wstring* pbstrTypeName) override
    {
        return Answer(
            "ISClusResource->get_TypeName", pbstrTypeName,
            [](auto& inner, std::wstring* p) { return inner.get_TypeName(p); }, &m_strName);
    }
    HRESULT get_PrivateProperties(std::shared_ptr<ISClusProperties>* ppProperties) override
    {
        return Forward(
            "ISClusResource->get_PrivateProperties", ppProperties,
            [](auto& inner, std::shared_ptr<ISClusProperties>* pp) { return inner.get_PrivateProperties(pp); },
            &m_strName);
    }

private:
    std::wstring m_strName;
};

class CFailingGroup : public CFailing<ISClusResGroup>
{
public:
    using CFailing::CFailing;
    HRESULT get_Resources(std::shared_ptr<ISClusResGroupResources>* ppResources) override
    {
        if (const HRESULT hr = m_pFailures->Of("ISClusResGroup->get_Resources"); FAILED(hr))
            return hr;
        std::shared_ptr<ISClusResGroupResources> pResources;
        const HRESULT hr = m_pInner->get_Resources(&pResources);
        if (SUCCEEDED(hr))
            *ppResources = std::make_shared<CFailingCollection<ISClusResource>>("ISClusResGroupResources",
                                                                                std::move(pResources), m_pFailures);
        return hr;
    }
};

class CFailingNode : public CFailing<ISClusNode>
{
public:
    using CFailing::CFailing;
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        return Answer("ISClusNode->get_Name", pbstrName,
                      [](auto& inner, std::wstring* p) { return inner.get_Name(p); });
    }
};

std::shared_ptr<ISClusProperty> Wrap(std::shared_ptr<ISClusProperty> pInner, const FailuresPtr& pFailures)
{
    return std::make_shared<CFailingProperty>(std::move(pInner), pFailures);
}
std::shared_ptr<ISClusProperties> Wrap(std::shared_ptr<ISClusProperties> pInner, const FailuresPtr& pFailures)
{
    return std::make_shared<CFailingProperties>(std::move(pInner), pFailures);
}
std::shared_ptr<ISClusResource> Wrap(std::shared_ptr<ISClusResource> pInner, const FailuresPtr& pFailures)
{
    return std::make_shared<CFailingResource>(std::move(pInner), pFailures);
}
std::shared_ptr<ISClusResGroup> Wrap(std::shared_ptr<ISClusResGroup> pInner, const FailuresPtr& pFailures)
{
    return std::make_shared<CFailingGroup>(std::move(pInner), pFailures);
}
std::shared_ptr<ISClusNode> Wrap(std::shared_ptr<ISClusNode> pInner, const FailuresPtr& pFailures)
{
    return std::make_shared<CFailingNode>(std::move(pInner), pFailures);
}

ClusterContents ContentsOf(const MemoryCluster& cluster)
{
    ClusterContents contents;
    for (const MemoryGroup& group : cluster.groups) {
        GroupContents& groupContents = contents.groups.emplace_back();
        groupContents.strName = group.strName;
        for (const MemoryResource& resource : group.resources)
            groupContents.resources.push_back({resource.strName, resource.strTypeName, resource.privateProperties});
    }
    contents.nodes = cluster.nodes;
    return contents;
}

class CMemoryClusterObject : public ISCluster
{
public:
    explicit CMemoryClusterObject(const MemoryCluster& cluster)
        : m_snapshot(ContentsOf(cluster)), m_pFailures(std::make_shared<CFailures>(cluster)), m_hrOpen(cluster.hrOpen)
    {
    }

    HRESULT Open(const std::wstring& /*bstrClusterName*/) override { return m_hrOpen; }
    HRESULT get_ResourceGroups(std::shared_ptr<ISClusResGroups>* ppGroups) override
    {
        return Answer("ISCluster->get_ResourceGroups", "ISClusResGroups", m_snapshot.ResourceGroups(), ppGroups);
    }
    HRESULT get_Resources(std::shared_ptr<ISClusResources>* ppResources) override
    {
        return Answer("ISCluster->get_Resources", "ISClusResources", m_snapshot.Resources(), ppResources);
    }
    HRESULT get_Nodes(std::shared_ptr<ISClusNodes>* ppNodes) override
    {
        return Answer("ISCluster->get_Nodes", "ISClusNodes", m_snapshot.Nodes(), ppNodes);
    }

private:
    template <class Item>
    HRESULT Answer(const std::string& strCall, const char* szInterface,
                   const std::shared_ptr<IClusCollection<Item>>& pCollection,
                   std::shared_ptr<IClusCollection<Item>>* ppOut) const
    {
        if (const HRESULT hr = m_pFailures->Of(strCall); FAILED(hr))
            return hr;
        *ppOut = std::make_shared<CFailingCollection<Item>>(szInterface, pCollection, m_pFailures);
        return S_OK;
    }

    CClusterSnapshot m_snapshot;
    FailuresPtr m_pFailures;
    HRESULT m_hrOpen;
};

} // namespace

CScopedMemoryCluster::CScopedMemoryCluster(MemoryCluster cluster)
    : m_factory([cluster = std::move(cluster)](std::shared_ptr<ISCluster>& pCluster) {
          pCluster = std::make_shared<CMemoryClusterObject>(cluster);
          return S_OK;
      })
{
}

} // namespace testsupport
