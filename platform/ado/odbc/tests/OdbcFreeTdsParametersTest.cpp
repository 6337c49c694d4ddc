// Bound parameters and prepared commands through FreeTDS against the TDS test server: what the
// server receives for each type, how a prepared command travels, and a deadline or a lost
// connection during a prepared execution.

#include "platform/ado/odbc/OdbcProvider.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "testsupport/RunProgram.h"
#include "testsupport/TdsTestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

using namespace platform;
using namespace platform::ado;

namespace {

class OdbcFreeTdsParameters : public ::testing::Test
{
protected:
    // An empty registry: the driver is FreeTDS with its default options.
    void SetUp() override { ::setenv("VESTREL_REGISTRY_FILE", (m_scratch.Path() / "none.reg").c_str(), 1); }
    void TearDown() override { ::unsetenv("VESTREL_REGISTRY_FILE"); }

    testsupport::CTdsTestServer StartServer(const std::string& strRules) const
    {
        return testsupport::CTdsTestServer(TDSSERVER_PATH, m_scratch.Path(), "server", "login|sa|pw\n" + strRules);
    }

    static ConnectionPtr Connect(const testsupport::CTdsTestServer& server)
    {
        const ConnectionPtr pConnection = MakeOdbcProvider()->CreateConnection();
        ConnectionProperties properties;
        properties.strDataSource = NarrowToWide(server.Server());
        properties.bIntegratedSecurity = false;
        properties.strUserId = L"sa";
        properties.strPassword = L"pw";
        properties.lConnectTimeout = 60;
        pConnection->Open(properties);
        return pConnection;
    }

    testsupport::ScratchFolder m_scratch;
};

ParameterPtr Input(DataType type, Variant value, std::int32_t lSize = 0)
{
    return std::make_shared<Parameter>(Parameter{L"", type, ParameterDirection::Input, lSize, std::move(value)});
}

Command MakeCommand(const ConnectionPtr& pConnection, std::vector<ParameterPtr> parameters, bool bPrepared)
{
    Command command;
    command.activeConnection = pConnection;
    command.strCommandText = L"INSERT INTO t VALUES (?)";
    command.parameters = std::move(parameters);
    command.bPrepared = bPrepared;
    return command;
}

// The transcript's lines from the first that starts with strFrom.
std::string From(const std::string& strTranscript, const std::string& strFrom)
{
    const std::size_t at = strTranscript.find(strFrom);
    return at == std::string::npos ? "(no " + strFrom + ")\n" + strTranscript : strTranscript.substr(at);
}

struct Sent
{
    const char* szName;
    DataType type;
    Variant value;
    const char* szDeclared; // as the statement's parameters are declared
    const char* szReceived; // the value's line of the server's transcript
};

TEST_F(OdbcFreeTdsParameters, EachTypeReachesTheServerExactly)
{
    const std::vector<std::uint8_t> binary{0x00, 0x27, 0x00, 0xFF, 0x22};
    const std::vector<Sent> cases = {
        {"smallest integer", DataType::Integer, Variant::Int32(std::numeric_limits<std::int32_t>::min()), "@P1 INT",
         "int = -2147483648"},
        {"largest integer", DataType::Integer, Variant::Int32(std::numeric_limits<std::int32_t>::max()), "@P1 INT",
         "int = 2147483647"},
        {"smallest big integer", DataType::BigInt, Variant::Int64(std::numeric_limits<std::int64_t>::min()),
         "@P1 BIGINT", "bigint = -9223372036854775808"},
        {"largest big integer", DataType::BigInt, Variant::Int64(std::numeric_limits<std::int64_t>::max()),
         "@P1 BIGINT", "bigint = 9223372036854775807"},
        {"empty text", DataType::VarWChar, Variant::String(L""), "@P1 NVARCHAR(1)", "nvarchar(1) = \n"},
        {"quotes and a statement's end", DataType::VarWChar, Variant::String(L"it's \"q\"'); --"), "@P1 NVARCHAR(14)",
         "nvarchar(14) = it's \"q\"'); --\n"},
        {"text beyond ASCII", DataType::VarWChar, Variant::String(L"Gr\u00fc\u00dfe \u4e2d \U0001F600"),
         "@P1 NVARCHAR(10)",
         "nvarchar(10) = Gr\xc3\xbc\xc3\x9f"
         "e \xe4\xb8\xad \xf0\x9f\x98\x80\n"},
        {"no bytes", DataType::VarBinary, Variant::Bytes({}), "@P1 VARBINARY(1)", "varbinary(1) = 0x\n"},
        {"NUL bytes and quotes", DataType::VarBinary, Variant::Bytes(binary), "@P1 VARBINARY(5)",
         "varbinary(5) = 0x002700FF22\n"},
        {"null integer", DataType::Integer, Variant::Null(), "@P1 INT", "int = NULL"},
        {"null text", DataType::VarWChar, Variant::Null(), "@P1 NVARCHAR(1)", "nvarchar(1) = NULL"},
        {"null bytes", DataType::VarBinary, Variant::Null(), "@P1 VARBINARY(1)", "varbinary(1) = NULL"},
    };
    const testsupport::CTdsTestServer server = StartServer("rpc|procedure 13|out|I4:0,I4:7\n");
    const ConnectionPtr pConnection = Connect(server);
    std::size_t cbSeen = server.Transcript().size();
    for (const bool bPrepared : {false, true}) {
        for (const Sent& c : cases) {
            SCOPED_TRACE(std::string(c.szName) + (bPrepared ? ", prepared" : ", direct"));
            {
                Command command = MakeCommand(pConnection, {Input(c.type, c.value)}, bPrepared);
                command.Execute(true);
            }
            const std::string strTranscript = server.Transcript();
            const std::string strSent = strTranscript.substr(cbSeen);
            cbSeen = strTranscript.size();
            // Run directly: sp_executesql (procedure 10), with the statement before the
            // declarations. Prepared: sp_prepexec (procedure 13) with the handle's output first
            // and the declarations before the statement, and sp_unprepare (procedure 15) when the
            // command goes.
            const std::string strExpected =
                bPrepared
                    ? std::string("#1 rpc: procedure 13\n#1   param  output int\n#1   param  input ntext = ") +
                          c.szDeclared + "\n#1   param  input ntext = INSERT INTO t VALUES (@P1)\n" +
                          "#1   param  input " + c.szReceived
                    : std::string("#1 rpc: procedure 10\n#1   param  input ntext = INSERT INTO t VALUES (@P1)\n") +
                          "#1   param  input ntext = " + c.szDeclared + "\n#1   param  input " + c.szReceived;
            EXPECT_EQ(strSent.substr(0, strExpected.size()), strExpected) << strSent;
            if (bPrepared) {
                EXPECT_NE(strSent.find("#1 rpc: procedure 15\n#1   param  input int = 7\n"), std::string::npos)
                    << strSent;
            }
        }
    }
}

TEST_F(OdbcFreeTdsParameters, APreparedCommandIsPreparedOnceAndExecutedByItsHandle)
{
    const testsupport::CTdsTestServer server = StartServer("rpc|procedure 13|out|I4:0,I4:7\n");
    const ConnectionPtr pConnection = Connect(server);
    {
        // A declared size keeps the binding as it was: the server's statement is run again.
        const ParameterPtr pName = Input(DataType::VarWChar, Variant::String(L"first"), 20);
        const ParameterPtr pId = Input(DataType::BigInt, Variant::Int64(1));
        Command command = MakeCommand(pConnection, {pName, pId}, true);
        command.strCommandText = L"INSERT INTO t VALUES (?, ?)";
        command.Execute(true);
        pName->value = Variant::String(L"second, longer");
        pId->value = Variant::Int64(2);
        command.Execute(true);
        pName->value = Variant::Null();
        pId->value = Variant::Int64(3);
        command.Execute(true);
    }
    EXPECT_EQ(From(server.Transcript(), "#1 rpc: procedure 13\n"),
              "#1 rpc: procedure 13\n"
              "#1   param  output int\n"
              "#1   param  input ntext = @P1 NVARCHAR(20),@P2 BIGINT\n"
              "#1   param  input ntext = INSERT INTO t VALUES (@P1, @P2)\n"
              "#1   param  input nvarchar(20) = first\n"
              "#1   param  input bigint = 1\n"
              "#1 rpc: sp_execute\n"
              "#1   param  input int = 7\n"
              "#1   param  input nvarchar(20) = second, longer\n"
              "#1   param  input bigint = 2\n"
              "#1 rpc: sp_execute\n"
              "#1   param  input int = 7\n"
              "#1   param  input nvarchar(20) = NULL\n"
              "#1   param  input bigint = 3\n"
              "#1 rpc: procedure 15\n"
              "#1   param  input int = 7\n");
}

TEST_F(OdbcFreeTdsParameters, APreparedExecutionEndsAtItsDeadline)
{
    // The server trickles its answer a byte a second and lets a cancel go unanswered: the
    // connection is severed a second after the command's timeout.
    const testsupport::CTdsTestServer server = StartServer("pace|answers|1000\n");
    const ConnectionPtr pConnection = Connect(server);
    Command command = MakeCommand(pConnection, {Input(DataType::Integer, Variant::Int32(1))}, true);
    command.SetCommandTimeout(1);
    try {
        command.Execute(true);
        ADD_FAILURE() << "ran to its end";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(HResultBits(e.Error()), HResultBits(DB_E_ABORTLIMITREACHED));
        const std::vector<Error> errors = pConnection->Errors();
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(WideToNarrow(errors.front().strSource).substr(0, 7), "[HYT00]");
    }
}

TEST_F(OdbcFreeTdsParameters, AConnectionLostDuringAPreparedExecutionIsAFailureNotARefusal)
{
    const testsupport::CTdsTestServer server = StartServer("rpc|procedure 13|out|I4:0,I4:7\nrpc|sp_execute|drop\n");
    const ConnectionPtr pConnection = Connect(server);
    const ParameterPtr pId = Input(DataType::Integer, Variant::Int32(1));
    Command command = MakeCommand(pConnection, {pId}, true);
    command.Execute(true);
    pId->value = Variant::Int32(2);
    try {
        command.Execute(true);
        ADD_FAILURE() << "ran to its end";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(HResultBits(e.Error()), HResultBits(E_FAIL));
    }
    EXPECT_NE(server.Transcript().find("#1 rpc: sp_execute\n#1   param  input int = 7\n#1   param  input int = 2\n"
                                       "#1 dropped the connection\n"),
              std::string::npos)
        << server.Transcript();
}

} // namespace
