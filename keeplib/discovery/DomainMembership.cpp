#include "DomainMembership.h"

#include "TracedNetApi.h"

#include "platform/Win32Error.h"
#include "platform/netapi/NetApi.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

namespace UTIL::WG {

bool IsMachineInDomain()
{
    TRACE_SCOPE(L"UTIL::WG::IsMachineInDomain()");
    platform::netapi::PrimaryDomainInfo primaryDomain;
    const DWORD status = Keeplibs::TracedNetApi().QueryPrimaryDomain(primaryDomain);
    if (status != platform::ERROR_SUCCESS)
        UTIL::COM::ThrowCheckFailure(HRESULT_FROM_WIN32(status), __LINE__, __FILE__, "status != STATUS_SUCCESS");
    return primaryDomain.bHasSid;
}

} // namespace UTIL::WG
