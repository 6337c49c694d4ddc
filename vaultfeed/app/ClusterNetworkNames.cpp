#include "ClusterNetworkNames.h"

#include "common/ComError.h"
#include "platform/ComApartment.h"
#include "platform/cluster/Cluster.h"

#include <memory>

namespace Vaultfeed {
namespace {

using namespace platform::cluster;
using platform::Variant;

std::optional<std::wstring> NetworkNameOf(ISClusResource& resource)
{
    std::shared_ptr<ISClusProperties> pProperties;
    if (FAILED(resource.get_PrivateProperties(&pProperties)) || !pProperties)
        return std::nullopt;
    std::shared_ptr<ISClusProperty> pProperty;
    if (FAILED(pProperties->get_Item(Variant::String(kNetworkNameProperty), &pProperty)) || !pProperty)
        return std::nullopt;
    Variant value;
    if (FAILED(pProperty->get_Value(&value)) || value.Type() != platform::VT_BSTR)
        return std::nullopt;
    return value.StringValue();
}

// The product's resources of the cluster's Resources collection, in its order, up to the first
// call that fails; complete when none failed.
struct ProductResourceWalk
{
    std::vector<std::shared_ptr<ISClusResource>> resources;
    bool bComplete = false;
};

ProductResourceWalk ProductResourcesOf(ISCluster& cluster)
{
    ProductResourceWalk walk;
    std::shared_ptr<ISClusResources> pResources;
    std::int32_t lCount = 0;
    if (FAILED(cluster.get_Resources(&pResources)) || !pResources || FAILED(pResources->get_Count(&lCount)))
        return walk;
    for (std::int32_t lIndex = 1; lIndex <= lCount; ++lIndex) {
        std::shared_ptr<ISClusResource> pResource;
        std::wstring bstrTypeName;
        if (FAILED(pResources->get_Item(Variant::Int32(lIndex), &pResource)) || !pResource ||
            FAILED(pResource->get_TypeName(&bstrTypeName)))
            return walk;
        if (bstrTypeName == kProductResourceType)
            walk.resources.push_back(std::move(pResource));
    }
    walk.bComplete = true;
    return walk;
}

} // namespace

bool IsClusterNode()
{
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, false);
        return OpenLocalCluster() != nullptr;
    } catch (const UTIL::COM::_com_error&) {
        return false;
    }
}

ProductResources FindProductResources()
{
    ProductResources found;
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, true);
        const std::shared_ptr<ISCluster> pCluster = OpenLocalCluster();
        if (!pCluster)
            return found;
        const ProductResourceWalk walk = ProductResourcesOf(*pCluster);
        // The first resource is preselected only when the whole collection was read and it has a
        // network name to show; otherwise the list's own first entry is.
        std::wstring bstrFirst;
        if (walk.bComplete && !walk.resources.empty() && SUCCEEDED(walk.resources.front()->get_Name(&bstrFirst)) &&
            NetworkNameOf(*walk.resources.front()))
            found.strPreselected = bstrFirst;
        for (const std::shared_ptr<ISClusResource>& pResource : walk.resources) {
            std::wstring bstrName;
            if (SUCCEEDED(pResource->get_Name(&bstrName)))
                found.names.push_back(std::move(bstrName));
        }
    } catch (const UTIL::COM::_com_error&) {
        // No apartment: no cluster to read.
    }
    return found;
}

std::optional<std::wstring> ReadNetworkName(const std::wstring& strResourceName)
{
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, true);
        const std::shared_ptr<ISCluster> pCluster = OpenLocalCluster();
        std::shared_ptr<ISClusResources> pResources;
        std::shared_ptr<ISClusResource> pResource;
        if (!pCluster || FAILED(pCluster->get_Resources(&pResources)) || !pResources ||
            FAILED(pResources->get_Item(Variant::String(strResourceName), &pResource)) || !pResource)
            return std::nullopt;
        return NetworkNameOf(*pResource);
    } catch (const UTIL::COM::_com_error&) {
        return std::nullopt;
    }
}

} // namespace Vaultfeed
