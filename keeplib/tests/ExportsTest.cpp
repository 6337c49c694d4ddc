#include "keeplib/Exports.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct ArgumentCase
{
    const char* szName;
    std::function<HRESULT()> call;
    HRESULT hr;
    std::vector<std::string> lines;
};

const wchar_t* const S = L"SERVER";
const wchar_t* const D = L"KorvoQuar";

} // namespace

TEST(Exports, RefuseMissingArgumentsBeforeAnyWork)
{
    std::int32_t l = 0;
    const ArgumentCase cases[] = {
        {"setup without account",
         [] { return KeeplibSetup(60, S, D, 30, 0, nullptr, nullptr, 0, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibSetup()", "ERR: Null input argument.",
          "INF: + Leaving Function : KeeplibSetup()"}},
        {"backup without server",
         [] { return KeeplibBackup(60, nullptr, D, nullptr, 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibBackup()", "INF: + Entering Function : Keeplibs::KeeplibBackup()",
          "ERR: Null imput argument.", "INF: + Leaving Function : Keeplibs::KeeplibBackup()",
          "INF: + Leaving Function : KeeplibBackup()"}},
        {"restore without database",
         [] { return KeeplibRestore(60, S, nullptr, nullptr, 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibRestore()", "INF: + Entering Function : Keeplibs::KeeplibRestore()",
          "ERR: Null imput argument.", "INF: + Leaving Function : Keeplibs::KeeplibRestore()",
          "INF: + Leaving Function : KeeplibRestore()"}},
        {"drop without database",
         [] { return KeeplibDropDatabase(60, S, nullptr, 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibDropDatabase()",
          "INF: + Entering Function : Keeplibs::KeeplibDropDatabase()", "ERR: Null input argument.",
          "INF: + Leaving Function : Keeplibs::KeeplibDropDatabase()",
          "INF: + Leaving Function : KeeplibDropDatabase()"}},
        {"version without minor",
         [&] { return KeeplibVersion(60, S, D, &l, nullptr, nullptr, nullptr, 30, 0, nullptr, nullptr, 0); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibVersion()", "ERR: Null input argument.",
          "INF: + Leaving Function : KeeplibVersion()"}},
        {"validate without server",
         [] { return KeeplibValidateSQLServerName(1, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibValidateSQLServerName()",
          "INF: + Entering Function : Keeplibs::KeeplibValidateSQLServerName()", "INF: lType=1", "INF: pstrServerName=",
          "ERR: Null input argument.", "INF: + Leaving Function : Keeplibs::KeeplibValidateSQLServerName()",
          "INF: + Leaving Function : KeeplibValidateSQLServerName()"}},
        {"exists without database",
         [] { return KeeplibExistsDatabase(60, S, nullptr, 30, 0, nullptr, nullptr); },
         E_POINTER,
         {"INF: + Entering Function : KeeplibExistsDatabase()",
          "INF: + Entering Function : Keeplibs::KeeplibExistsDatabase()",
          "ERR: Failed '!pstrDatabaseName' : Win32 error 0x80004003", "ERR: COM error: 0x80004003 ('Invalid pointer')",
          "INF: + Leaving Function : Keeplibs::KeeplibExistsDatabase()",
          "INF: + Leaving Function : KeeplibExistsDatabase()"}},
        {"server check without server",
         [] { return KeeplibSQLServerCheck(60, nullptr, 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibSQLServerCheck()",
          "ERR: Failed '! pstrServerName' : Win32 error 0x80070057",
          "ERR: COM error: 0x80070057 ('The parameter is incorrect.')", "INF: Returing, hrResult=0x80070057",
          "INF: + Leaving Function : KeeplibSQLServerCheck()"}},
        {"role check without server",
         [] { return KeeplibSQLServerCheckSvrRole(60, nullptr, 30, 0, nullptr, nullptr, L"sysadmin"); },
         E_POINTER,
         {"INF: + Entering Function : KeeplibSQLServerCheckSvrRole()",
          "ERR: Failed '!pstrServerName' : Win32 error 0x80004003", "ERR: COM error: 0x80004003 ('Invalid pointer')",
          "INF: Returing, hrResult=0x80004003", "INF: + Leaving Function : KeeplibSQLServerCheckSvrRole()"}},
        {"local type without out pointer",
         [] { return KeeplibGetLocalSqlServerType(S, nullptr); },
         E_POINTER,
         {"INF: + Entering Function : KeeplibGetLocalSqlServerType()",
          "INF: + Entering Function : Keeplibs::KeeplibGetLocalSqlServerType()",
          "ERR: plType == NULL ? E_POINTER : S_OK hr=0x80004003", "ERR: COM error: 0x80004003 ('Invalid pointer')",
          "INF: Returning, hrResult=0x80004003", "INF: + Leaving Function : Keeplibs::KeeplibGetLocalSqlServerType()",
          "INF: + Leaving Function : KeeplibGetLocalSqlServerType()"}},
    };
    for (const ArgumentCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::TraceCapture trace;
        EXPECT_EQ(c.call(), c.hr);
        EXPECT_EQ(trace.Messages(), c.lines);
    }
}

TEST(Exports, RefuseBadNamesAndKindsWithTheirOwnLines)
{
    std::int32_t lMajor = 0;
    std::int32_t lMinor = 0;
    const ArgumentCase cases[] = {
        {"setup of a bad name",
         [] { return KeeplibSetup(60, S, L"Korvo-Quar", 30, 0, nullptr, nullptr, 0, L"D\\u"); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibSetup()", "INF: bstrDatabaseName='Korvo-Quar'", "INF: bstrAuthUser=''",
          "INF: bstrVLServiceUserName='D\\u'", "ERR: Invalid character on position 5.", "ERR: Invalid database name.",
          "INF: + Leaving Function : KeeplibSetup()"}},
        {"setup of kind 4",
         [] { return KeeplibSetup(60, S, D, 30, 1, L"sa", L"secret", 4, L"D\\u"); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibSetup()", "INF: bstrDatabaseName='KorvoQuar'", "INF: bstrAuthUser='sa'",
          "INF: bstrVLServiceUserName='D\\u'", "ERR: Invalid database type.",
          "INF: + Leaving Function : KeeplibSetup()"}},
        {"version of kind 7",
         [&] { return KeeplibVersion(60, S, D, &lMajor, &lMinor, nullptr, nullptr, 30, 0, nullptr, nullptr, 7); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibVersion()", "ERR: Invalid database type.",
          "INF: + Leaving Function : KeeplibVersion()"}},
        {"backup to a quoted file",
         [] { return KeeplibBackup(60, S, D, L"it's.dat", 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibBackup()", "INF: + Entering Function : Keeplibs::KeeplibBackup()",
          "ERR: Invalid character on position 2.", "ERR: Invalid backup file name.",
          "INF: + Leaving Function : Keeplibs::KeeplibBackup()", "INF: + Leaving Function : KeeplibBackup()"}},
        {"drop of a name starting with a digit",
         [] { return KeeplibDropDatabase(60, S, L"9Korvo", 30, 0, nullptr, nullptr); },
         E_INVALIDARG,
         {"INF: + Entering Function : KeeplibDropDatabase()",
          "INF: + Entering Function : Keeplibs::KeeplibDropDatabase()",
          "INF: Drop database '9Korvo' from server 'SERVER'", "ERR: Invalid first character.",
          "ERR: Invalid database name.", "INF: + Leaving Function : Keeplibs::KeeplibDropDatabase()",
          "INF: + Leaving Function : KeeplibDropDatabase()"}},
    };
    for (const ArgumentCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::TraceCapture trace;
        EXPECT_EQ(c.call(), c.hr);
        EXPECT_EQ(trace.Messages(), c.lines);
    }
}

TEST(Exports, NeverTraceThePassword)
{
    const testsupport::TraceCapture trace;
    KeeplibSetup(60, S, D, 30, 1, L"sa", L"Sw0rdf1sh", 0, L"D\\u");
    KeeplibBackup(60, S, D, nullptr, 30, 1, L"sa", L"Sw0rdf1sh");
    KeeplibSQLServerCheckSvrRole(60, S, 30, 1, L"sa", L"Sw0rdf1sh", L"sysadmin");
    for (const std::string& strLine : trace.Lines())
        EXPECT_EQ(strLine.find("Sw0rdf1sh"), std::string::npos) << strLine;
}
