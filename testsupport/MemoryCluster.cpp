#include "testsupport/MemoryCluster.h"

namespace testsupport {
namespace {

using namespace platform::cluster;
using platform::Variant;

class CFailures
{
public:
    explicit CFailures(std::map<std::string, HRESULT> failures) : m_failures(std::move(failures)) {}
    HRESULT Of(const std::string& strCall) const
    {
        const auto failure = m_failures.find(strCall);
        return failure == m_failures.end() ? S_OK : failure->second;
    }

private:
    std::map<std::string, HRESULT> m_failures;
};
using FailuresPtr = std::shared_ptr<const CFailures>;

// The named items of a collection, found by position from 1 or by name.
template <class Item> class CMemoryCollection : public IClusCollection<Item>
{
public:
    CMemoryCollection(std::string strInterface, FailuresPtr pFailures,
                      std::vector<std::pair<std::wstring, std::shared_ptr<Item>>> items)
        : m_strInterface(std::move(strInterface)), m_pFailures(std::move(pFailures)), m_items(std::move(items))
    {
    }
    HRESULT get_Count(std::int32_t* plCount) override
    {
        if (const HRESULT hr = m_pFailures->Of(m_strInterface + "->get_Count"); FAILED(hr))
            return hr;
        *plCount = static_cast<std::int32_t>(m_items.size());
        return S_OK;
    }
    HRESULT get_Item(const Variant& index, std::shared_ptr<Item>* ppItem) override
    {
        if (const HRESULT hr = m_pFailures->Of(m_strInterface + "->get_Item"); FAILED(hr))
            return hr;
        if (index.Type() == platform::VT_I4 && index.Int32Value() >= 1 &&
            static_cast<std::size_t>(index.Int32Value()) <= m_items.size()) {
            *ppItem = m_items[static_cast<std::size_t>(index.Int32Value()) - 1].second;
            return S_OK;
        }
        if (index.Type() == platform::VT_BSTR) {
            for (const auto& [strName, pItem] : m_items) {
                if (strName == index.StringValue()) {
                    *ppItem = pItem;
                    return S_OK;
                }
            }
        }
        return E_INVALIDARG;
    }

private:
    std::string m_strInterface;
    FailuresPtr m_pFailures;
    std::vector<std::pair<std::wstring, std::shared_ptr<Item>>> m_items;
};

class CMemoryProperty : public ISClusProperty
{
public:
    CMemoryProperty(FailuresPtr pFailures, Variant value) : m_pFailures(std::move(pFailures)), m_value(std::move(value))
    {
    }
    HRESULT get_Value(Variant* pValue) override
    {
        if (const HRESULT hr = m_pFailures->Of("ISClusProperty->get_Value"); FAILED(hr))
            return hr;
        *pValue = m_value;
        return S_OK;
    }

private:
    FailuresPtr m_pFailures;
    Variant m_value;
};

class CMemoryProperties : public ISClusProperties
{
public:
    CMemoryProperties(const FailuresPtr& pFailures, const std::vector<std::pair<std::wstring, Variant>>& properties)
    {
        std::vector<std::pair<std::wstring, std::shared_ptr<ISClusProperty>>> items;
        for (const auto& [strName, value] : properties)
            items.emplace_back(strName, std::make_shared<CMemoryProperty>(pFailures, value));
        m_pItems = std::make_shared<CMemoryCollection<ISClusProperty>>("ISClusProperties", pFailures, std::move(items));
    }
    HRESULT get_Item(const Variant& index, std::shared_ptr<ISClusProperty>* ppProperty) override
    {
        return m_pItems->get_Item(index, ppProperty);
    }

private:
    std::shared_ptr<CMemoryCollection<ISClusProperty>> m_pItems;
};

class CMemoryResource : public ISClusResource
{
public:
    CMemoryResource(FailuresPtr pFailures, MemoryResource resource)
        : m_pFailures(std::move(pFailures)), m_resource(std::move(resource))
    {
    }
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        return Answer("ISClusResource->get_Name", m_resource.strName, pbstrName);
    }
    HRESULT get_TypeName(std::wstring* pbstrTypeName) override
    {
        return Answer("ISClusResource->get_TypeName", m_resource.strTypeName, pbstrTypeName);
    }
    HRESULT get_PrivateProperties(std::shared_ptr<ISClusProperties>* ppProperties) override
    {
        if (const HRESULT hr = FailureOf("ISClusResource->get_PrivateProperties"); FAILED(hr))
            return hr;
        *ppProperties = std::make_shared<CMemoryProperties>(m_pFailures, m_resource.privateProperties);
        return S_OK;
    }

private:
    HRESULT FailureOf(const std::string& strCall) const
    {
        const auto own = m_resource.failures.find(strCall);
        return own != m_resource.failures.end() ? own->second : m_pFailures->Of(strCall);
    }

    HRESULT Answer(const std::string& strCall, const std::wstring& strValue, std::wstring* pbstrOut) const
    {
        if (const HRESULT hr = FailureOf(strCall); FAILED(hr))
            return hr;
        *pbstrOut = strValue;
        return S_OK;
    }

    FailuresPtr m_pFailures;
    MemoryResource m_resource;
};

using ResourceItems = std::vector<std::pair<std::wstring, std::shared_ptr<ISClusResource>>>;

class CMemoryGroup : public ISClusResGroup
{
public:
    CMemoryGroup(FailuresPtr pFailures, ResourceItems resources)
        : m_pFailures(std::move(pFailures)), m_resources(std::move(resources))
    {
    }
    HRESULT get_Resources(std::shared_ptr<ISClusResGroupResources>* ppResources) override
    {
        if (const HRESULT hr = m_pFailures->Of("ISClusResGroup->get_Resources"); FAILED(hr))
            return hr;
        *ppResources =
            std::make_shared<CMemoryCollection<ISClusResource>>("ISClusResGroupResources", m_pFailures, m_resources);
        return S_OK;
    }

private:
    FailuresPtr m_pFailures;
    ResourceItems m_resources;
};

class CMemoryNode : public ISClusNode
{
public:
    CMemoryNode(FailuresPtr pFailures, std::wstring strName)
        : m_pFailures(std::move(pFailures)), m_strName(std::move(strName))
    {
    }
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        if (const HRESULT hr = m_pFailures->Of("ISClusNode->get_Name"); FAILED(hr))
            return hr;
        *pbstrName = m_strName;
        return S_OK;
    }

private:
    FailuresPtr m_pFailures;
    std::wstring m_strName;
};

class CMemoryClusterObject : public ISCluster
{
public:
    explicit CMemoryClusterObject(const MemoryCluster& cluster)
        : m_pFailures(std::make_shared<CFailures>(cluster.failures)), m_hrOpen(cluster.hrOpen)
    {
        std::vector<std::pair<std::wstring, std::shared_ptr<ISClusResGroup>>> groups;
        for (const MemoryGroup& group : cluster.groups) {
            ResourceItems resources;
            for (const MemoryResource& resource : group.resources)
                resources.emplace_back(resource.strName, std::make_shared<CMemoryResource>(m_pFailures, resource));
            m_allResources.insert(m_allResources.end(), resources.begin(), resources.end());
            groups.emplace_back(group.strName, std::make_shared<CMemoryGroup>(m_pFailures, std::move(resources)));
        }
        m_pGroups =
            std::make_shared<CMemoryCollection<ISClusResGroup>>("ISClusResGroups", m_pFailures, std::move(groups));
        std::vector<std::pair<std::wstring, std::shared_ptr<ISClusNode>>> nodes;
        for (const std::wstring& strNode : cluster.nodes)
            nodes.emplace_back(strNode, std::make_shared<CMemoryNode>(m_pFailures, strNode));
        m_pNodes = std::make_shared<CMemoryCollection<ISClusNode>>("ISClusNodes", m_pFailures, std::move(nodes));
    }

    HRESULT Open(const std::wstring& /*bstrClusterName*/) override { return m_hrOpen; }
    HRESULT get_ResourceGroups(std::shared_ptr<ISClusResGroups>* ppGroups) override
    {
        return Answer("ISCluster->get_ResourceGroups", m_pGroups, ppGroups);
    }
    HRESULT get_Resources(std::shared_ptr<ISClusResources>* ppResources) override
    {
        std::shared_ptr<ISClusResources> pResources =
            std::make_shared<CMemoryCollection<ISClusResource>>("ISClusResources", m_pFailures, m_allResources);
        return Answer("ISCluster->get_Resources", std::move(pResources), ppResources);
    }
    HRESULT get_Nodes(std::shared_ptr<ISClusNodes>* ppNodes) override
    {
        return Answer("ISCluster->get_Nodes", m_pNodes, ppNodes);
    }

private:
    template <class Collection>
    HRESULT Answer(const std::string& strCall, std::shared_ptr<Collection> pCollection,
                   std::shared_ptr<Collection>* ppOut) const
    {
        if (const HRESULT hr = m_pFailures->Of(strCall); FAILED(hr))
            return hr;
        *ppOut = std::move(pCollection);
        return S_OK;
    }

    FailuresPtr m_pFailures;
    HRESULT m_hrOpen;
    ResourceItems m_allResources;
    std::shared_ptr<ISClusResGroups> m_pGroups;
    std::shared_ptr<ISClusNodes> m_pNodes;
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
