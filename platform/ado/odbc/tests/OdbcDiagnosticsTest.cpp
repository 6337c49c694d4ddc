#include "OdbcDiagnostics.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

using namespace platform::ado::odbc;
using platform::ado::DB_E_ABORTLIMITREACHED;
using platform::ado::DB_SEC_E_AUTH_FAILED;
using platform::ado::Error;

namespace {

struct MappingCase
{
    const char* szName;
    std::vector<DiagnosticRecord> records;
    HRESULT hrStatement;
    HRESULT hrConnect;
    bool bUnreachable;
};

TEST(OdbcDiagnostics, MapsRecordsToTheResultsAdoGives)
{
    const std::vector<MappingCase> cases = {
        {"syntax error",
         {{L"42000", 102, L"[FreeTDS][SQL Server]Incorrect syntax near 'SELEC'."}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         false},
        {"missing object", {{L"42S02", 208, L"Invalid object name 'x'."}}, DB_E_ERRORSINCOMMAND, E_FAIL, false},
        {"duplicate key",
         {{L"23000", 2627, L"Violation of PRIMARY KEY constraint"}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         false},
        {"division by zero",
         {{L"22012", 8134, L"Divide by zero error encountered."}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         false},
        {"ODBC 2 syntax state", {{L"37000", 156, L"Incorrect syntax"}}, DB_E_ERRORSINCOMMAND, E_FAIL, false},
        {"general error from the server",
         {{L"HY000", 3201, L"Cannot open backup device"}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         false},
        {"backup stopped, reported as a message with the failure",
         {{L"01000", 3013, L"BACKUP DATABASE is terminating abnormally."}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         false},
        {"deadlock victim", {{L"40001", 1205, L"Transaction was deadlocked"}}, DB_E_ERRORSINCOMMAND, E_FAIL, false},
        {"query timeout", {{L"HYT00", 0, L"Timeout expired"}}, DB_E_ABORTLIMITREACHED, E_FAIL, true},
        {"connection timeout during a statement",
         {{L"HYT01", 0, L"Connection timeout expired"}},
         DB_E_ABORTLIMITREACHED,
         E_FAIL,
         true},
        {"progress messages then a timeout",
         {{L"01000", 3211, L"10 percent processed."}, {L"HYT00", 0, L"Timeout expired"}},
         DB_E_ABORTLIMITREACHED,
         E_FAIL,
         true},
        {"closed port",
         {{L"08S01", 20009, L"Unable to connect: Adaptive Server is unavailable or does not exist"},
          {L"08001", 0, L"Unable to connect to data source"}},
         E_FAIL,
         E_FAIL,
         true},
        {"link lost with a server error",
         {{L"42000", 0, L"x"}, {L"08S01", 20004, L"Read from the server failed"}},
         E_FAIL,
         E_FAIL,
         true},
        {"login refused",
         {{L"28000", 18456, L"Login failed for user 'u'."}},
         DB_E_ERRORSINCOMMAND,
         DB_SEC_E_AUTH_FAILED,
         false},
        {"login refused under another state",
         {{L"42000", 18456, L"Login failed for user 'u'."}},
         DB_E_ERRORSINCOMMAND,
         DB_SEC_E_AUTH_FAILED,
         false},
        {"untrusted domain",
         {{L"HY000", 18452, L"Login failed. The login is from an untrusted domain"}},
         DB_E_ERRORSINCOMMAND,
         DB_SEC_E_AUTH_FAILED,
         false},
        {"database not available at login (a mirror)",
         {{L"42000", 4060, L"Cannot open database \"KorvoQuar\" requested by the login."},
          {L"28000", 18456, L"Login failed."}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         true},
        {"database not available at login alone",
         {{L"42000", 4060, L"Cannot open database \"KorvoQuar\"."}},
         DB_E_ERRORSINCOMMAND,
         E_FAIL,
         true},
        {"no such driver",
         {{L"IM002", 0, L"[unixODBC][Driver Manager]Data source name not found"}},
         E_FAIL,
         E_FAIL,
         false},
        {"function sequence error", {{L"HY010", 0, L"Function sequence error"}}, E_FAIL, E_FAIL, false},
        {"no record at all", {{L"", 0, L"SQLExecDirectW failed with ODBC return code -2"}}, E_FAIL, E_FAIL, false},
    };
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(c.szName);
        EXPECT_EQ(HResultBits(HResultForStatementFailure(c.records)), HResultBits(c.hrStatement));
        EXPECT_EQ(HResultBits(HResultForConnectFailure(c.records)), HResultBits(c.hrConnect));
        EXPECT_EQ(IsServerUnreachable(c.records), c.bUnreachable);
    }
}

TEST(OdbcDiagnostics, ALostConnectionIsNoRejectedStatementAndATimeoutIsATimeout)
{
    // FreeTDS reports the end of the server's stream as a warning, which alone reads as a message
    // of the server's.
    const std::vector<DiagnosticRecord> endOfStream{{L"01000", 20017, L"Unexpected EOF from the server"}};
    EXPECT_EQ(HResultBits(HResultForStatementFailure(endOfStream)), HResultBits(DB_E_ERRORSINCOMMAND));
    EXPECT_EQ(HResultBits(HResultForStatementFailure(endOfStream, true)), HResultBits(E_FAIL));
    // A statement that a deadline broke off lost its connection too, and timed out.
    const std::vector<DiagnosticRecord> brokenOff = WithTimeoutFirst(endOfStream, L"Timeout expired");
    EXPECT_EQ(HResultBits(HResultForStatementFailure(brokenOff, true)), HResultBits(DB_E_ABORTLIMITREACHED));
    EXPECT_EQ(WideToNarrow(brokenOff.front().strSqlState + L" " + brokenOff.front().strMessage),
              "HYT00 Timeout expired");
    EXPECT_EQ(brokenOff.size(), 2u);
}

TEST(OdbcDiagnostics, MakesReadableErrorsCollectionEntries)
{
    const Error withPrefixes = ToAdoError({L"08S01", 20009, L"[FreeTDS][SQL Server]Unable to connect"}, L"127.0.0.1,1");
    EXPECT_EQ(withPrefixes.lNumber, 20009);
    EXPECT_EQ(WideToNarrow(withPrefixes.strSource), "[08S01] [FreeTDS][SQL Server] (127.0.0.1,1)");
    EXPECT_EQ(WideToNarrow(withPrefixes.strDescription), "Unable to connect");

    const Error plain = ToAdoError({L"HY000", 1, L"near \"SELEC\": syntax error (1)"});
    EXPECT_EQ(plain.lNumber, 1);
    EXPECT_EQ(WideToNarrow(plain.strSource), "[HY000] ODBC");
    EXPECT_EQ(WideToNarrow(plain.strDescription), "near \"SELEC\": syntax error (1)");

    const Error onlyPrefixes = ToAdoError({L"", 0, L"[a][b]"});
    EXPECT_EQ(WideToNarrow(onlyPrefixes.strSource), "[a][b]");
    EXPECT_EQ(WideToNarrow(onlyPrefixes.strDescription), "[a][b]");

    const Error unclosed = ToAdoError({L"42000", 7, L"[x message"});
    EXPECT_EQ(WideToNarrow(unclosed.strSource), "[42000] ODBC");
    EXPECT_EQ(WideToNarrow(unclosed.strDescription), "[x message");
}

} // namespace
