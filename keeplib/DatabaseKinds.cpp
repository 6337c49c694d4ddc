#include "keeplib/DatabaseKinds.h"

#include <algorithm>
#include <array>

namespace Keeplibs {
namespace {

constexpr std::array<DatabaseKind, 4> kKinds{{
    {0, L"QUAR", L"KorvoQuar", L"[dbo].[SPQuarVersion]", 103, L"VestrelQuarUser"},
    {1, L"RPRT", L"KorvoRprt", L"[dbo].[SPRprtVersion]", 104, L"VestrelRprtUser"},
    {2, L"DIR", L"KorvoDir", L"[dbo].[SPDirectoryVersion]", 106, L"VestrelDirUser"},
    {3, L"CNFG", L"KorvoCnfg", L"[dbo].[SPCnfgVersion]", 107, L"VestrelCnfgUser"},
}};

template <class Predicate> std::optional<DatabaseKind> FindKind(Predicate&& matches)
{
    const auto it = std::find_if(kKinds.begin(), kKinds.end(), matches);
    return it == kKinds.end() ? std::nullopt : std::optional(*it);
}

} // namespace

std::optional<DatabaseKind> FindDatabaseKind(std::uint32_t lDatabaseType)
{
    return FindKind([&](const DatabaseKind& kind) { return kind.lDatabaseType == lDatabaseType; });
}

std::optional<DatabaseKind> FindDatabaseKindByKeyword(std::wstring_view wszKeyword)
{
    return FindKind([&](const DatabaseKind& kind) { return kind.wszKeyword == wszKeyword; });
}

} // namespace Keeplibs
