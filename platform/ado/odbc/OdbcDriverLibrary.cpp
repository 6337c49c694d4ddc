#include "platform/ado/odbc/OdbcDriverLibrary.h"

#include "common/StringUtils.h"

#include <array>

#include <odbcinst.h>

namespace platform::ado::odbc {

std::filesystem::path OdbcDriverLibrary(std::wstring_view driverName)
{
    const std::string strName = WideToNarrow(std::wstring(driverName));
    if (strName.find('/') != std::string::npos)
        return strName;
    std::array<char, 4096> buffer{};
    const int cch = SQLGetPrivateProfileString(strName.c_str(), "Driver", "", buffer.data(),
                                               static_cast<int>(buffer.size()), "ODBCINST.INI");
    return cch > 0 ? std::filesystem::path(std::string(buffer.data(), static_cast<std::size_t>(cch)))
                   : std::filesystem::path();
}

bool IsFreeTdsLibrary(const std::filesystem::path& library)
{
    return library.filename().string().starts_with("libtdsodbc.");
}

} // namespace platform::ado::odbc
