#pragma once
// The failover-cluster automation objects the system walks: the cluster, its resource groups and
// their resources, the cluster's resources, resource types, private properties, and the nodes.
// Each call answers an HRESULT and fills its out-argument, as the automation interfaces do;
// collections count from 1 and take their index, or an item's name, as a VARIANT.
//
// The cluster is Pacemaker's: the cluster object reads the cluster information base (CIB) when
// it opens. Without Pacemaker, creating it fails as it does on a computer without cluster
// software. Tests may put a cluster of their own in its place.

#include "common/HResult.h"
#include "platform/ProcessWide.h"
#include "platform/Variant.h"

#include <functional>
#include <memory>
#include <string>

namespace platform::cluster {

class ISClusProperty
{
public:
    virtual ~ISClusProperty() = default;
    virtual HRESULT get_Value(Variant* pValue) = 0;
};

class ISClusProperties
{
public:
    virtual ~ISClusProperties() = default;
    // By position (VT_I4, from 1) or by name (VT_BSTR).
    virtual HRESULT get_Item(const Variant& index, std::shared_ptr<ISClusProperty>* ppProperty) = 0;
};

class ISClusResource
{
public:
    virtual ~ISClusResource() = default;
    virtual HRESULT get_Name(std::wstring* pbstrName) = 0;
    virtual HRESULT get_TypeName(std::wstring* pbstrTypeName) = 0;
    virtual HRESULT get_PrivateProperties(std::shared_ptr<ISClusProperties>* ppProperties) = 0;
};

class ISClusNode
{
public:
    virtual ~ISClusNode() = default;
    virtual HRESULT get_Name(std::wstring* pbstrName) = 0;
};

// A collection of the cluster's objects.
template <class Item> class IClusCollection
{
public:
    virtual ~IClusCollection() = default;
    virtual HRESULT get_Count(std::int32_t* plCount) = 0;
    // By position (VT_I4, from 1) or by name (VT_BSTR).
    virtual HRESULT get_Item(const Variant& index, std::shared_ptr<Item>* ppItem) = 0;
};

using ISClusResGroupResources = IClusCollection<ISClusResource>;
using ISClusResources = IClusCollection<ISClusResource>;
using ISClusNodes = IClusCollection<ISClusNode>;

class ISClusResGroup
{
public:
    virtual ~ISClusResGroup() = default;
    virtual HRESULT get_Resources(std::shared_ptr<ISClusResGroupResources>* ppResources) = 0;
};

using ISClusResGroups = IClusCollection<ISClusResGroup>;

class ISCluster
{
public:
    virtual ~ISCluster() = default;
    // Opens the named cluster; the empty name is the cluster this computer is a node of.
    virtual HRESULT Open(const std::wstring& bstrClusterName) = 0;
    virtual HRESULT get_ResourceGroups(std::shared_ptr<ISClusResGroups>* ppGroups) = 0;
    virtual HRESULT get_Resources(std::shared_ptr<ISClusResources>* ppResources) = 0;
    virtual HRESULT get_Nodes(std::shared_ptr<ISClusNodes>* ppNodes) = 0;
};

// CoCreateInstance of the cluster class: Pacemaker's cluster, or REGDB_E_CLASSNOTREG when its
// tools are not installed, unless a test put its own cluster in place.
HRESULT CreateCluster(std::shared_ptr<ISCluster>& pCluster);

// The cluster this computer is a node of, created and opened; null on a computer without cluster
// software or one that is no cluster node, which is no failure.
std::shared_ptr<ISCluster> OpenLocalCluster();

// A way of creating the cluster object.
using ClusterFactory = std::function<HRESULT(std::shared_ptr<ISCluster>&)>;

// Puts a way of creating the cluster object in place for the life of the guard.
class CScopedClusterFactory : public CScopedInPlace<ClusterFactory>
{
public:
    explicit CScopedClusterFactory(ClusterFactory factory);
};

} // namespace platform::cluster
