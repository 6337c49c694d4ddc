#pragma once
// The objects of the Velmora service that the import calls, as C++ interfaces with the calls,
// arguments and results it relies on. The proxies over the bus and the tests' in-process fake
// implement them alike. Every call returns an HRESULT; a failing call may leave error information
// for its thread (platform/ErrorInfo.h). Each interface notes the entry of the service's function
// table that a call stands for.

#include "common/HResult.h"
#include "platform/ComApartment.h"
#include "platform/Variant.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vaultfeed {

using IID = platform::GUID;
using CLSID = platform::GUID;

class IUnknown;
using UnknownPtr = std::shared_ptr<IUnknown>;

// What every object answers. Releasing an object is dropping the last pointer to it.
class IUnknown
{
public:
    virtual ~IUnknown() = default;
    // S_OK with the object's interface iid in pObject; E_NOINTERFACE, leaving it empty, when the
    // object has no such interface.
    virtual HRESULT QueryInterface(const IID& iid, UnknownPtr& pObject) = 0;
};

class IServiceRoot : public IUnknown
{
public:
    static constexpr IID kIid = platform::GuidFromText("DDC012F8-A786-4584-856D-044BC1F49414");
    // Entry 15: an object to be queried for IConfigStore.
    virtual HRESULT GetConfigStore(UnknownPtr& pStore) = 0;
    // Entry 17: an object to be queried for IQuarantineImport.
    virtual HRESULT GetQuarantineImport(UnknownPtr& pImport) = 0;
};

class IConfigItem : public IUnknown
{
public:
    static constexpr IID kIid = platform::GuidFromText("BC322BD5-6359-47D4-9926-363FE6A11024");
    // Entry 19: the item's configuration text.
    virtual HRESULT GetConfigText(std::wstring& strText) = 0;
};

class IConfigStore : public IUnknown
{
public:
    static constexpr IID kIid = platform::GuidFromText("DE2BA9C8-CF2E-41DF-8B64-441C516B64AE");
    // Entry 8: one item of the configuration. The import asks for the quarantine settings with
    // the type 8 and the keys -1, -1 and 0.
    virtual HRESULT GetConfigItem(std::int32_t lItemType, std::int16_t sKey1, std::int16_t sKey2, std::int16_t sKey3,
                                  std::shared_ptr<IConfigItem>& pItem) = 0;
};

class IQuarantineConfig : public IUnknown
{
public:
    static constexpr IID kIid = platform::GuidFromText("775D096D-0F0F-45FA-8EE1-4C1FD194910B");
    // Entry 31: loads a configuration text, as an IConfigItem gives it.
    virtual HRESULT LoadConfig(const std::wstring& strText) = 0;
    // Entry 21: the product's quarantine folder, from the loaded configuration.
    virtual HRESULT GetQuarantineFolder(std::wstring& strFolder) = 0;
};

class IQuarantineImport : public IUnknown
{
public:
    static constexpr IID kIid = platform::GuidFromText("DBFD22D6-5229-407D-A407-E15D7FF35253");
    // Entry 22: the context of one run, passed to every ImportFile of the run.
    virtual HRESULT CreateImportContext(UnknownPtr& pContext) = 0;
    // Entry 17: VT_EMPTY in varResult when the file, named bare and found in the service's
    // quarantine folder, is not in the database yet; any other type when it is.
    virtual HRESULT IsFileKnown(const std::wstring& strFileName, platform::Variant& varResult) = 0;
    // Entry 18: records the file's header data in the database. On failure, VT_I4 1 in varResult
    // marks a damaged file.
    virtual HRESULT ImportFile(const std::wstring& strFileName, const std::wstring& strNetworkName,
                               const UnknownPtr& pContext, platform::Variant& varResult) = 0;
};

constexpr CLSID CLSID_ServiceRoot = platform::GuidFromText("FE4F5263-11D5-4724-95BA-A978983B6369");
constexpr CLSID CLSID_QuarantineConfig = platform::GuidFromText("A222643E-744A-46F8-85FE-02883EC5C2E3");

// How the objects of the service come to be: the part of object creation that reaches the
// service. Callable from any thread; each thread uses the objects it made.
class IServiceConnection
{
public:
    virtual ~IServiceConnection() = default;
    // A new object of the class, for IUnknown.
    virtual HRESULT CreateInstance(const CLSID& clsid, UnknownPtr& pObject) = 0;
    // From any thread: a creation or call waiting for the service ends at once with E_ABORT, and
    // so does every later call through the objects made so far. Objects made afterwards are
    // unaffected, so that a stopped import can be started again.
    virtual void Interrupt() = 0;
};

} // namespace Vaultfeed
