#include "ClusterWalk.h"

namespace Keeplibs {

using namespace platform::cluster;

std::shared_ptr<ISCluster> OpenLocalCluster()
{
    std::shared_ptr<ISCluster> pCluster;
    if (FAILED(CreateCluster(pCluster)) || !pCluster || FAILED(pCluster->Open(L"")))
        return nullptr;
    return pCluster;
}

HRESULT ForEachGroupResource(ISCluster& cluster,
                             const std::function<HRESULT(ISClusResource&, const std::wstring&)>& visit)
{
    std::shared_ptr<ISClusResGroups> pGroups;
    RETURN_IF_CLUSTER_CALL_FAILED(cluster.get_ResourceGroups(&pGroups), L"ISCluster->get_ResourceGroups");
    std::int32_t lGroupCount = 0;
    RETURN_IF_CLUSTER_CALL_FAILED(pGroups->get_Count(&lGroupCount), L"ISClusResGroups->get_Count");
    for (std::int32_t lGroup = 1; lGroup <= lGroupCount; ++lGroup) {
        std::shared_ptr<ISClusResGroup> pGroup;
        RETURN_IF_CLUSTER_CALL_FAILED(pGroups->get_Item(platform::Variant::Int32(lGroup), &pGroup),
                                      L"ISClusResGroups->get_Item");
        std::shared_ptr<ISClusResGroupResources> pResources;
        RETURN_IF_CLUSTER_CALL_FAILED(pGroup->get_Resources(&pResources), L"ISClusResGroup->get_Resources");
        std::int32_t lResourceCount = 0;
        RETURN_IF_CLUSTER_CALL_FAILED(pResources->get_Count(&lResourceCount), L"ISClusResGroupResources->get_Count");
        for (std::int32_t lResource = 1; lResource <= lResourceCount; ++lResource) {
            std::shared_ptr<ISClusResource> pResource;
            RETURN_IF_CLUSTER_CALL_FAILED(pResources->get_Item(platform::Variant::Int32(lResource), &pResource),
                                          L"ISClusResGroupResources->get_Item");
            std::wstring bstrTypeName;
            RETURN_IF_CLUSTER_CALL_FAILED(pResource->get_TypeName(&bstrTypeName), L"ISClusResource->get_TypeName");
            if (const HRESULT hr = visit(*pResource, bstrTypeName); FAILED(hr))
                return hr;
        }
    }
    return S_OK;
}

} // namespace Keeplibs
