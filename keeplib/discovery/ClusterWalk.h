#pragma once
// The walk over the local failover cluster that finding its network names and its SQL Server
// instances share.

#include "platform/cluster/Cluster.h"
#include "trace/ICDebug.h"

#include <functional>
#include <memory>
#include <string>

// A cluster call that failed is traced at the caller's place with the name of the call, and its
// code is returned at once.
#define RETURN_IF_CLUSTER_CALL_FAILED(call, wszCallName)                                                               \
    do {                                                                                                               \
        if (const HRESULT hrCall = (call); FAILED(hrCall)) {                                                           \
            TRACE_ERROR(TRACE_FAILURE, L"%ls failed with hr=(0x%08x).", (wszCallName), HResultBits(hrCall));           \
            return hrCall;                                                                                             \
        }                                                                                                              \
    } while (false)

namespace Keeplibs {

// Visits every item of a collection by index from 1. A failing call (traced with the collection's
// interface name) or visit ends the walk with its code.
template <class Item, class Visit>
HRESULT ForEachItem(platform::cluster::IClusCollection<Item>& collection, const std::wstring& strInterface, Visit visit)
{
    std::int32_t lCount = 0;
    RETURN_IF_CLUSTER_CALL_FAILED(collection.get_Count(&lCount), (strInterface + L"->get_Count").c_str());
    for (std::int32_t lIndex = 1; lIndex <= lCount; ++lIndex) {
        std::shared_ptr<Item> pItem;
        RETURN_IF_CLUSTER_CALL_FAILED(collection.get_Item(platform::Variant::Int32(lIndex), &pItem),
                                      (strInterface + L"->get_Item").c_str());
        if (const HRESULT hr = visit(*pItem); FAILED(hr))
            return hr;
    }
    return S_OK;
}

// Visits every resource of every resource group, groups and resources by index from 1, with the
// resource's type name. A failing call (traced) or visit ends the walk with its code.
HRESULT ForEachGroupResource(
    platform::cluster::ISCluster& cluster,
    const std::function<HRESULT(platform::cluster::ISClusResource&, const std::wstring& bstrTypeName)>& visit);

} // namespace Keeplibs
