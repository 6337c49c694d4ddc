#include "TracedNetApi.h"

#include "trace/ICDebug.h"

namespace Keeplibs {
namespace {

using namespace platform::netapi;

// Forwards every call to the implementation in place at the time of the call, which tests may
// change, and traces its notes after it.
class CTracedNetApi final : public INetApi
{
public:
    DWORD GetComputerNameExW(COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize) override
    {
        return Traced(CurrentNetApi().GetComputerNameExW(format, lpBuffer, pnSize));
    }
    DWORD QueryPrimaryDomain(PrimaryDomainInfo& info) override
    {
        return Traced(CurrentNetApi().QueryPrimaryDomain(info));
    }
    DWORD NetWkstaGetInfo101(const wchar_t* wszServerName, WKSTA_INFO_101& info) override
    {
        return Traced(CurrentNetApi().NetWkstaGetInfo101(wszServerName, info));
    }
    DWORD DsGetDcNameW(const wchar_t* wszDomainName, ULONG ulFlags,
                       std::unique_ptr<DOMAIN_CONTROLLER_INFOW>& pInfo) override
    {
        return Traced(CurrentNetApi().DsGetDcNameW(wszDomainName, ulFlags, pInfo));
    }
    DWORD DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts) override
    {
        return Traced(CurrentNetApi().DsEnumerateDomainTrustsW(wszServerName, ulFlags, trusts));
    }
    std::vector<std::wstring> TakeNotes() override { return CurrentNetApi().TakeNotes(); }

private:
    static DWORD Traced(DWORD dwResult)
    {
        for (const std::wstring& strNote : CurrentNetApi().TakeNotes())
            TRACE_INFO(TRACE_NORMAL, L"%ls", strNote.c_str());
        return dwResult;
    }
};

} // namespace

INetApi& TracedNetApi()
{
    static CTracedNetApi netApi;
    return netApi;
}

} // namespace Keeplibs
