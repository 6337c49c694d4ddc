#pragma once
// org.vestrel.Velmora.Quarantine1 called over one connection of one thread: each call returns the
// HRESULT the engine sees and, on failure, leaves error information for the thread (the interface
// as source, the error's own text as description). The calls go to the unique name that owned the
// service's name when connecting, so a restarted service is never taken for the one whose
// sessions these are.

#include "BusLink.h"
#include "vaultfeed/bus/BusService.h"

#include "common/HResult.h"

#include <chrono>
#include <string>
#include <string_view>

namespace Vaultfeed::Bus {

class CQuarantineClient
{
public:
    explicit CQuarantineClient(const BusTimeouts& timeouts);

    // Connects to the service's bus and finds the service: REGDB_E_CLASSNOTREG when nobody serves
    // it, RPC_E_SERVER_UNAVAILABLE when the bus cannot be reached, RPC_E_TIMEOUT when it does not
    // answer in time.
    HRESULT Connect();

    HRESULT GetQuarantineFolder(std::string& strFolder);
    HRESULT StartImport(std::string& strSession);
    // Ends the session without waiting: leaving the bus would end it as well.
    void EndImport(const std::string& strSession);
    HRESULT IsFileKnown(std::string_view strFileName, bool& bKnown);
    // S_OK imported; ERROR_FILE_CORRUPT with bDamaged set for a damaged file; any other failure.
    HRESULT ImportFile(std::string_view strFileName, const std::string& strNetworkName, const std::string& strSession,
                       bool& bDamaged);

    // From any thread: the call in progress and every later one fail with E_ABORT.
    void Interrupt() { m_link.Interrupt(); }

private:
    // A call of the interface (or of szInterface) on the service's object.
    MessagePtr NewCall(const char* szMember, const char* szInterface);
    // The call's HRESULT, its error information left when it failed.
    HRESULT Finish(sd_bus_message* pCall, MessagePtr& reply);
    HRESULT FailureOf(const CallResult& result);
    bool IsServiceOnTheBus();

    const BusTimeouts m_timeouts;
    CBusLink m_link;
    std::string m_strOwner;
};

// Leaves error information (the interface as source) and returns hr.
HRESULT Failure(HRESULT hr, const std::string& strDescription);

} // namespace Vaultfeed::Bus
