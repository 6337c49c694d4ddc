#pragma once
// The four product databases, by the number that crosses the library's interface.

#include <cstdint>
#include <optional>
#include <string_view>

namespace Keeplibs {

struct DatabaseKind
{
    std::uint32_t lDatabaseType;
    std::wstring_view wszKeyword;          // as keepctl names it
    std::wstring_view wszDatabaseName;     // the default database name
    std::wstring_view wszVersionProcedure; // reports the schema version
    std::int32_t lCreationScript;          // embedded script that creates the schema
    std::wstring_view wszRole;             // the role the service account joins
};

// The kind with that number, or nothing.
std::optional<DatabaseKind> FindDatabaseKind(std::uint32_t lDatabaseType);
// The kind with that keyword (compared case-sensitively), or nothing.
std::optional<DatabaseKind> FindDatabaseKindByKeyword(std::wstring_view wszKeyword);

} // namespace Keeplibs
