// The SQL Server instances of the failover cluster this computer belongs to: its "SQL Server"
// resources, named by their virtual server.

#include "ClusterWalk.h"
#include "FailedCall.h"
#include "InstanceSources.h"
#include "common/StringUtils.h"

namespace Keeplibs {
namespace {

using namespace platform::cluster;

// A private property's value; its failures are traced with the property's name.
HRESULT ReadPrivateProperty(ISClusProperties& properties, const wchar_t* wszName, platform::Variant& value)
{
    std::shared_ptr<ISClusProperty> pProperty;
    if (const HRESULT hr = properties.get_Item(platform::Variant::String(wszName), &pProperty); FAILED(hr))
        return TraceFailedCall(hr, FormatW(L"ISClusProperties->get_Item(%ls)", wszName));
    if (const HRESULT hr = pProperty->get_Value(&value); FAILED(hr))
        return TraceFailedCall(hr, FormatW(L"ISClusProperty->get_Value(%ls)", wszName));
    return S_OK;
}

} // namespace

HRESULT AddLocalClusterInstances(CServerNameSet& names)
{
    const std::shared_ptr<ISCluster> pCluster = OpenLocalCluster();
    if (!pCluster)
        return S_OK;
    return ForEachGroupResource(*pCluster, [&names](ISClusResource& resource, const std::wstring& bstrTypeName) {
        if (bstrTypeName != L"SQL Server")
            return S_OK;
        std::shared_ptr<ISClusProperties> pProperties;
        if (const HRESULT hr = resource.get_PrivateProperties(&pProperties); FAILED(hr))
            return TraceFailedCall(hr, L"ISClusResource->get_PrivateProperties");
        platform::Variant virtualServerName;
        if (const HRESULT hr = ReadPrivateProperty(*pProperties, L"VirtualServerName", virtualServerName); FAILED(hr))
            return hr;
        platform::Variant instanceName;
        if (const HRESULT hr = ReadPrivateProperty(*pProperties, L"InstanceName", instanceName); FAILED(hr))
            return hr;
        if (virtualServerName.Type() != platform::VT_BSTR || instanceName.Type() != platform::VT_BSTR)
            return S_OK;
        const std::wstring& strServer = virtualServerName.StringValue();
        if (instanceName.StringValue() == L"MSSQLSERVER") {
            TRACE_INFO(TRACE_NORMAL, L"Adding default instance: %ls", strServer.c_str());
            names.Insert(strServer);
        } else {
            TRACE_INFO(TRACE_NORMAL, L"Adding named instance: %ls\\%ls", strServer.c_str(),
                       instanceName.StringValue().c_str());
            names.Insert(strServer + L'\\' + instanceName.StringValue());
        }
        return S_OK;
    });
}

} // namespace Keeplibs
