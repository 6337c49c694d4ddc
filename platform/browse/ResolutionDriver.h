#pragma once
// The browse driver of this system: asks the browse targets for their SQL Server instances over
// the SQL Server Resolution Protocol and answers every instance that answered within the wait.

#include "BrowseTargets.h"
#include "platform/browse/SqlBrowse.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform::browse {

class CResolutionDriver : public IBrowseDriver
{
public:
    SQLRETURN BrowseConnect(ConnectionState& connection, std::wstring_view connectionString, wchar_t* szOut,
                            SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) override;
};

// The most text the names of one browse may take: beyond it, answers are left out.
constexpr std::size_t kMaxBrowseTextLength = std::size_t{1} << 22;

// One browse: the request to every target, and every answer gathered until the wait is over,
// whatever the answers hold and however many arrive. What was left out, and why, becomes a
// note; when the socket itself fails, there is no text.
struct BrowseResult
{
    std::optional<std::wstring> text;
    std::vector<std::wstring> notes;
};
BrowseResult BrowseServers(const std::vector<BrowseTarget>& targets, std::chrono::milliseconds wait);

} // namespace platform::browse
