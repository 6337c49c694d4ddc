#pragma once
// Reading a domain's trusts from a controller's directory, with the computer's own Kerberos ticket
// or else with the caller's, and saying in notes which answered and why the others did not.

#include "platform/netapi/NetApi.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::netapi {

struct DirectoryQuery
{
    std::string strController;        // the controller's DNS name
    std::string strComputerPrincipal; // this computer's account, "NAME$@REALM"
    ULONG ulFlags = DS_DOMAIN_VALID_FLAGS;
};

struct DirectoryReading
{
    std::optional<std::vector<DS_DOMAIN_TRUSTSW>> trusts; // nothing when the directory could not be read
    std::vector<std::wstring> notes;
};

// The trusts of the controller's domain that have any of the flags asked for, as
// TrustsFromDirectory orders them. The libraries are loaded at the first call.
DirectoryReading ReadTrustsFromDirectory(const DirectoryQuery& query);

} // namespace platform::netapi
