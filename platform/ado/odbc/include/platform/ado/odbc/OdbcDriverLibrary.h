#pragma once
// Which library an ODBC driver name stands for. The quoting of a connection string depends on the
// driver that will read it, and an administrator may name FreeTDS by its library's path or under
// a section of odbcinst.ini of any name.

#include <filesystem>
#include <string_view>

namespace platform::ado::odbc {

// The driver's library: the name itself when it is a path, else the "Driver" entry of the name's
// section in the driver manager's odbcinst.ini; empty when there is no such section.
std::filesystem::path OdbcDriverLibrary(std::wstring_view driverName);

// Whether that library is FreeTDS's ODBC driver.
bool IsFreeTdsLibrary(const std::filesystem::path& library);

} // namespace platform::ado::odbc
