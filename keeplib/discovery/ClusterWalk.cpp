#include "ClusterWalk.h"

namespace Keeplibs {

using namespace platform::cluster;

HRESULT ForEachGroupResource(ISCluster& cluster,
                             const std::function<HRESULT(ISClusResource&, const std::wstring&)>& visit)
{
    std::shared_ptr<ISClusResGroups> pGroups;
    if (const HRESULT hr = cluster.get_ResourceGroups(&pGroups); FAILED(hr))
        return TraceFailedCall(hr, L"ISCluster->get_ResourceGroups");
    return ForEachItem(*pGroups, L"ISClusResGroups", [&visit](ISClusResGroup& group) {
        std::shared_ptr<ISClusResGroupResources> pResources;
        if (const HRESULT hr = group.get_Resources(&pResources); FAILED(hr))
            return TraceFailedCall(hr, L"ISClusResGroup->get_Resources");
        return ForEachItem(*pResources, L"ISClusResGroupResources", [&visit](ISClusResource& resource) {
            std::wstring bstrTypeName;
            if (const HRESULT hr = resource.get_TypeName(&bstrTypeName); FAILED(hr))
                return TraceFailedCall(hr, L"ISClusResource->get_TypeName");
            return visit(resource, bstrTypeName);
        });
    });
}

} // namespace Keeplibs
