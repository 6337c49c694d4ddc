#include "ClusterWalk.h"

namespace Keeplibs {

using namespace platform::cluster;

HRESULT ForEachGroupResource(ISCluster& cluster,
                             const std::function<HRESULT(ISClusResource&, const std::wstring&)>& visit)
{
    std::shared_ptr<ISClusResGroups> pGroups;
    RETURN_IF_CLUSTER_CALL_FAILED(cluster.get_ResourceGroups(&pGroups), L"ISCluster->get_ResourceGroups");
    return ForEachItem(*pGroups, L"ISClusResGroups", [&visit](ISClusResGroup& group) {
        std::shared_ptr<ISClusResGroupResources> pResources;
        RETURN_IF_CLUSTER_CALL_FAILED(group.get_Resources(&pResources), L"ISClusResGroup->get_Resources");
        return ForEachItem(*pResources, L"ISClusResGroupResources", [&visit](ISClusResource& resource) {
            std::wstring bstrTypeName;
            RETURN_IF_CLUSTER_CALL_FAILED(resource.get_TypeName(&bstrTypeName), L"ISClusResource->get_TypeName");
            return visit(resource, bstrTypeName);
        });
    });
}

} // namespace Keeplibs
