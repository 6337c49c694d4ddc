#include "platform/cluster/ClusterSnapshot.h"

namespace platform::cluster {
namespace {

template <class Item> using NamedItems = std::vector<std::pair<std::wstring, std::shared_ptr<Item>>>;

template <class Item> class CNamedCollection : public IClusCollection<Item>
{
public:
    explicit CNamedCollection(NamedItems<Item> items) : m_items(std::move(items)) {}

    HRESULT get_Count(std::int32_t* plCount) override
    {
        *plCount = static_cast<std::int32_t>(m_items.size());
        return S_OK;
    }

    HRESULT get_Item(const Variant& index, std::shared_ptr<Item>* ppItem) override
    {
        if (index.Type() == VT_I4 && index.Int32Value() >= 1 &&
            static_cast<std::size_t>(index.Int32Value()) <= m_items.size()) {
            *ppItem = m_items[static_cast<std::size_t>(index.Int32Value()) - 1].second;
            return S_OK;
        }
        if (index.Type() == VT_BSTR) {
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
    NamedItems<Item> m_items;
};

class CProperty : public ISClusProperty
{
public:
    explicit CProperty(Variant value) : m_value(std::move(value)) {}
    HRESULT get_Value(Variant* pValue) override
    {
        *pValue = m_value;
        return S_OK;
    }

private:
    Variant m_value;
};

class CProperties : public ISClusProperties
{
public:
    explicit CProperties(const std::vector<std::pair<std::wstring, Variant>>& properties) : m_items(Items(properties))
    {
    }
    HRESULT get_Item(const Variant& index, std::shared_ptr<ISClusProperty>* ppProperty) override
    {
        return m_items.get_Item(index, ppProperty);
    }

private:
    static NamedItems<ISClusProperty> Items(const std::vector<std::pair<std::wstring, Variant>>& properties)
    {
        NamedItems<ISClusProperty> items;
        for (const auto& [strName, value] : properties)
            items.emplace_back(strName, std::make_shared<CProperty>(value));
        return items;
    }

    CNamedCollection<ISClusProperty> m_items;
};

class CResource : public ISClusResource
{
public:
    explicit CResource(const ResourceContents& resource)
        : m_strName(resource.strName), m_strTypeName(resource.strTypeName),
          m_pProperties(std::make_shared<CProperties>(resource.privateProperties))
    {
    }
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        *pbstrName = m_strName;
        return S_OK;
    }
    HRESULT get_TypeName(std::wstring* pbstrTypeName) override
    {
        *pbstrTypeName = m_strTypeName;
        return S_OK;
    }
    HRESULT get_PrivateProperties(std::shared_ptr<ISClusProperties>* ppProperties) override
    {
        *ppProperties = m_pProperties;
        return S_OK;
    }

private:
    std::wstring m_strName;
    std::wstring m_strTypeName;
    std::shared_ptr<ISClusProperties> m_pProperties;
};

class CGroup : public ISClusResGroup
{
public:
    explicit CGroup(NamedItems<ISClusResource> resources)
        : m_pResources(std::make_shared<CNamedCollection<ISClusResource>>(std::move(resources)))
    {
    }
    HRESULT get_Resources(std::shared_ptr<ISClusResGroupResources>* ppResources) override
    {
        *ppResources = m_pResources;
        return S_OK;
    }

private:
    std::shared_ptr<ISClusResGroupResources> m_pResources;
};

class CNode : public ISClusNode
{
public:
    explicit CNode(std::wstring strName) : m_strName(std::move(strName)) {}
    HRESULT get_Name(std::wstring* pbstrName) override
    {
        *pbstrName = m_strName;
        return S_OK;
    }

private:
    std::wstring m_strName;
};

} // namespace

CClusterSnapshot::CClusterSnapshot(const ClusterContents& contents)
{
    NamedItems<ISClusResGroup> groups;
    NamedItems<ISClusResource> allResources;
    for (const GroupContents& group : contents.groups) {
        NamedItems<ISClusResource> resources;
        for (const ResourceContents& resource : group.resources)
            resources.emplace_back(resource.strName, std::make_shared<CResource>(resource));
        allResources.insert(allResources.end(), resources.begin(), resources.end());
        groups.emplace_back(group.strName, std::make_shared<CGroup>(std::move(resources)));
    }
    m_pGroups = std::make_shared<CNamedCollection<ISClusResGroup>>(std::move(groups));
    m_pResources = std::make_shared<CNamedCollection<ISClusResource>>(std::move(allResources));

    NamedItems<ISClusNode> nodes;
    for (const std::wstring& strNode : contents.nodes)
        nodes.emplace_back(strNode, std::make_shared<CNode>(strNode));
    m_pNodes = std::make_shared<CNamedCollection<ISClusNode>>(std::move(nodes));
}

} // namespace platform::cluster
