#pragma once
// The walk over the local failover cluster that finding its network names and its SQL Server
// instances share.

#include "FailedCall.h"
#include "platform/cluster/Cluster.h"

#include <functional>
#include <memory>
#include <string>

namespace Keeplibs {

// Visits every item of a collection by index from 1. A failing call (traced with the collection's
// interface name) or visit ends the walk with its code.
template <class Item, class Visit>
HRESULT ForEachItem(platform::cluster::IClusCollection<Item>& collection, const std::wstring& strInterface, Visit visit)
{
    std::int32_t lCount = 0;
    if (const HRESULT hr = collection.get_Count(&lCount); FAILED(hr))
        return TraceFailedCall(hr, strInterface + L"->get_Count");
    for (std::int32_t lIndex = 1; lIndex <= lCount; ++lIndex) {
        std::shared_ptr<Item> pItem;
        if (const HRESULT hr = collection.get_Item(platform::Variant::Int32(lIndex), &pItem); FAILED(hr))
            return TraceFailedCall(hr, strInterface + L"->get_Item");
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
