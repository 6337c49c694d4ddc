#pragma once
// The browse driver of this system: asks the browse targets for their SQL Server instances over
// the SQL Server Resolution Protocol and answers every instance that answered within the wait.

#include "BrowseTargets.h"
#include "GatheredAnswers.h"
#include "platform/InterfaceAddresses.h"
#include "platform/browse/SqlBrowse.h"

#include <array>
#include <chrono>
#include <vector>

namespace platform::browse {

class CResolutionDriver : public IBrowseDriver
{
public:
    SQLRETURN BrowseConnect(ConnectionState& connection, std::wstring_view connectionString, wchar_t* szOut,
                            SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) override;
};

// When a browse asks: at its start, and again, as long as the wait lasts, every computer that has
// neither answered nor refused, and every broadcast: a request or its answer may be lost.
inline constexpr std::array<std::chrono::milliseconds, 3> kRequestTimes{
    std::chrono::milliseconds(0), std::chrono::milliseconds(250), std::chrono::milliseconds(600)};

// One browse: the requests to every target, and every answer gathered until the wait is over,
// whatever the answers hold and however many keep arriving. What was left out, and why, becomes a
// note.
BrowseResult BrowseServers(const std::vector<BrowseTarget>& targets, std::chrono::milliseconds wait,
                           const CInterfaceAddresses& interfaces);

} // namespace platform::browse
