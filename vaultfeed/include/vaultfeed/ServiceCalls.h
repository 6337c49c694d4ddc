#pragma once
// How the import calls the service: interface pointers that fail a call through an empty pointer,
// object creation, queries, and the calls whose failure ends the operation as a _com_error.

#include "common/ComError.h"
#include "platform/ErrorInfo.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <memory>
#include <string>
#include <utility>

namespace Vaultfeed {

// An interface pointer that, like the compiler's COM smart pointers, raises E_POINTER for a call
// through it while it is empty.
template <class I> class CServicePtr
{
public:
    CServicePtr() = default;
    explicit CServicePtr(std::shared_ptr<I> p) : m_p(std::move(p)) {}

    I* operator->() const
    {
        if (!m_p)
            throw UTIL::COM::_com_error(E_POINTER);
        return m_p.get();
    }
    const std::shared_ptr<I>& Get() const noexcept { return m_p; }
    // Where an interface pointer is filled in by a call.
    std::shared_ptr<I>& Out() noexcept { return m_p; }

private:
    std::shared_ptr<I> m_p;
};

// "Com Error:0x%08x,'%s','%s','%s'": the HRESULT, its system message, the error's source and its
// description (empty without error information), their control characters written as \xNN.
std::wstring ComErrorText(const UTIL::COM::_com_error& e);

// Raises a failed HRESULT as a _com_error with the error information that the call left.
[[noreturn]] void RaiseFailure(HRESULT hr);

// Makes a call whose failure ends the operation: raised as a _com_error with the call's own error
// information (none is left over from an earlier call).
template <class Call> void CallOrRaise(Call&& call)
{
    platform::SetErrorInfo(std::nullopt);
    const HRESULT hr = std::forward<Call>(call)();
    if (FAILED(hr))
        RaiseFailure(hr);
}

// The query itself; E_POINTER for an empty object.
HRESULT Query(const UnknownPtr& pObject, const IID& iid, UnknownPtr& pInterface);

// The interface that a query answered. An object that claims an interface and is not of its type
// would be called through the wrong table: it has no such interface.
template <class I> CServicePtr<I> AsInterface(const UnknownPtr& pInterface)
{
    std::shared_ptr<I> p = std::dynamic_pointer_cast<I>(pInterface);
    if (!p)
        RaiseFailure(E_NOINTERFACE);
    return CServicePtr<I>(std::move(p));
}

// Queries an object that a call returned for I. E_NOINTERFACE gives an empty pointer, so that the
// next call through it fails with E_POINTER; any other failure is raised.
template <class I> CServicePtr<I> QueryForInterface(const UnknownPtr& pObject)
{
    platform::SetErrorInfo(std::nullopt);
    UnknownPtr pInterface;
    const HRESULT hr = Query(pObject, I::kIid, pInterface);
    if (hr == E_NOINTERFACE)
        return {};
    if (FAILED(hr))
        RaiseFailure(hr);
    return AsInterface<I>(pInterface);
}

// Creates an object of the class for I: the object, then the query; the failure of either step is
// raised. The objects live in a running service, so there is no separate step to run them.
template <class I> CServicePtr<I> CreateServiceObject(IServiceConnection& service, const CLSID& clsid)
{
    UnknownPtr pObject;
    CallOrRaise([&] { return service.CreateInstance(clsid, pObject); });
    UnknownPtr pInterface;
    CallOrRaise([&] { return Query(pObject, I::kIid, pInterface); });
    return AsInterface<I>(pInterface);
}

} // namespace Vaultfeed
