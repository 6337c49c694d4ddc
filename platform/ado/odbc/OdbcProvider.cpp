#include "platform/ado/odbc/OdbcProvider.h"

#include "OdbcConnection.h"
#include "common/ComError.h"

namespace platform::ado {

namespace {

class OdbcProvider final : public Provider
{
public:
    ConnectionPtr CreateConnection() override { return std::make_shared<odbc::OdbcConnection>(); }
};

} // namespace

std::shared_ptr<Provider> MakeOdbcProvider()
{
    return std::make_shared<OdbcProvider>();
}

ConnectionPtr OpenOdbcConnection(const std::wstring& strOdbcConnectionString, std::int32_t lLoginTimeout)
{
    const auto pConnection = std::make_shared<odbc::OdbcConnection>();
    try {
        pConnection->OpenOdbc(strOdbcConnectionString, lLoginTimeout);
    } catch (const UTIL::COM::_com_error& e) {
        const std::vector<Error> errors = pConnection->Errors();
        if (errors.empty())
            throw;
        throw UTIL::COM::_com_error(e.Error(), errors.front().strSource, errors.front().strDescription);
    }
    return pConnection;
}

} // namespace platform::ado
