// FreeTDS for real, against ports on 127.0.0.1 where nothing listens: a connection that cannot
// be made, and a failover partner that cannot be made either.

#include "OdbcConnection.h"
#include "platform/ado/odbc/OdbcProvider.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "testsupport/LoopbackSocket.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform::ado;

namespace {

// A loopback port that nothing listens on: one the kernel just handed out and took back.
int ClosedLoopbackPort()
{
    return testsupport::CLoopbackSocket().Port();
}

// A closed port refuses a connection at once: the login timeout is only a hang guard, long enough
// that no deadline of the driver call comes before the refusal on a loaded machine.
constexpr std::int32_t kRefusalGuardSeconds = 60;

class OdbcFreeTds : public ::testing::Test
{
protected:
    // An empty registry: the driver is FreeTDS with its default options, whatever this machine
    // says in its own registry.
    void SetUp() override { ::setenv("VESTREL_REGISTRY_FILE", (m_scratch.Path() / "none.reg").c_str(), 1); }
    void TearDown() override { ::unsetenv("VESTREL_REGISTRY_FILE"); }

    // Opens the connection and returns what it threw.
    static HRESULT OpenFailure(Connection& connection, const ConnectionProperties& properties)
    {
        try {
            connection.Open(properties);
        } catch (const UTIL::COM::_com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    static std::string Describe(const std::vector<Error>& errors)
    {
        std::string str;
        for (const Error& error : errors)
            str += std::to_string(error.lNumber) + " " + WideToNarrow(error.strSource) + " " +
                   WideToNarrow(error.strDescription) + "\n";
        return str;
    }

    static bool Contains(const std::wstring& strText, const std::wstring& strPart)
    {
        return strText.find(strPart) != std::wstring::npos;
    }

    testsupport::ScratchFolder m_scratch;
};

TEST_F(OdbcFreeTds, AClosedPortFailsWithTheDriversRecords)
{
    const std::wstring strServer = L"127.0.0.1," + std::to_wstring(ClosedLoopbackPort());
    const std::wstring strPassword = L"Not-a-Secret-4711";
    const ConnectionPtr pConnection = MakeOdbcProvider()->CreateConnection();

    ConnectionProperties properties;
    properties.strDataSource = strServer;
    properties.bIntegratedSecurity = false;
    properties.strUserId = L"sa";
    properties.strPassword = strPassword;
    properties.lConnectTimeout = kRefusalGuardSeconds;
    EXPECT_EQ(HResultBits(OpenFailure(*pConnection, properties)), HResultBits(E_FAIL));
    const std::vector<Error> errors = pConnection->Errors();
    ASSERT_FALSE(errors.empty());
    bool bNetworkState = false;
    for (const Error& error : errors) {
        SCOPED_TRACE(Describe(errors));
        bNetworkState = bNetworkState || Contains(error.strSource, L"[08S01]") || Contains(error.strSource, L"[08001]");
        EXPECT_TRUE(Contains(error.strSource, L"(" + strServer + L")"));
        EXPECT_FALSE(error.strDescription.empty());
        EXPECT_FALSE(Contains(error.strSource, strPassword) || Contains(error.strDescription, strPassword));
    }
    EXPECT_TRUE(bNetworkState) << Describe(errors);

    // Nothing is open: a command on it is refused as ADO refuses it.
    Command command;
    command.activeConnection = pConnection;
    command.strCommandText = L"SELECT 1";
    try {
        command.Execute(false);
        ADD_FAILURE() << "Execute on a connection that failed to open did not throw";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(HResultBits(e.Error()), HResultBits(ADO_E_OBJECT_CLOSED));
    }
}

TEST_F(OdbcFreeTds, AClosedPortFailsForATrustedLoginToo)
{
    const std::wstring strServer = L"127.0.0.1," + std::to_wstring(ClosedLoopbackPort());
    const ConnectionPtr pConnection = MakeOdbcProvider()->CreateConnection();
    ConnectionProperties properties;
    properties.strDataSource = strServer;
    properties.lConnectTimeout = kRefusalGuardSeconds;
    properties.strInitialCatalog = L"KorvoQuar";
    EXPECT_EQ(HResultBits(OpenFailure(*pConnection, properties)), HResultBits(E_FAIL));
    EXPECT_FALSE(pConnection->Errors().empty());
}

TEST_F(OdbcFreeTds, TriesTheFailoverPartnerWhenThePrincipalCannotBeReached)
{
    const std::wstring strPrincipal = L"127.0.0.1," + std::to_wstring(ClosedLoopbackPort());
    std::wstring strPartner;
    do
        strPartner = L"127.0.0.1," + std::to_wstring(ClosedLoopbackPort());
    while (strPartner == strPrincipal);
    const ConnectionPtr pConnection = MakeOdbcProvider()->CreateConnection();

    ConnectionProperties properties;
    properties.strDataSource = strPrincipal;
    properties.strFailoverPartner = strPartner;
    properties.bIntegratedSecurity = false;
    properties.strUserId = L"u";
    properties.strPassword = L"p";
    properties.lConnectTimeout = kRefusalGuardSeconds;
    EXPECT_EQ(HResultBits(OpenFailure(*pConnection, properties)), HResultBits(E_FAIL));
    // Two sets of records: the principal's, then the partner's.
    const std::vector<Error> errors = pConnection->Errors();
    SCOPED_TRACE(Describe(errors));
    std::size_t cPrincipal = 0;
    std::size_t cPartner = 0;
    for (const Error& error : errors) {
        if (Contains(error.strSource, L"(" + strPrincipal + L")")) {
            EXPECT_EQ(cPartner, 0u) << "a record of the principal after the partner's";
            ++cPrincipal;
        } else if (Contains(error.strSource, L"(" + strPartner + L")")) {
            ++cPartner;
        } else {
            ADD_FAILURE() << "a record that names neither server";
        }
    }
    EXPECT_GT(cPrincipal, 0u);
    EXPECT_GT(cPartner, 0u);
}

} // namespace
