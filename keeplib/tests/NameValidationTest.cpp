#include "database/NameValidation.h"
#include "common/StringUtils.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>

using Keeplibs::ValidateBackupFileName;
using Keeplibs::ValidateDatabaseName;

namespace {

struct NameCase
{
    std::wstring strName;
    bool bValid;
    std::vector<std::string> lines;
};

} // namespace

TEST(ValidateDatabaseName, AcceptsWhatSqlServerTakesInBracketsAndLiterals)
{
    const NameCase cases[] = {
        {L"KorvoQuar", true, {}},
        {L"_Korvo#Q$@1", true, {}},
        {L"1Korvo", false, {"ERR: Invalid first character."}},
        {L"#Korvo", false, {"ERR: Invalid first character."}},
        {L"", false, {"ERR: Invalid first character."}},
        {L"Korvo-Quar", false, {"ERR: Invalid character on position 5."}},
        {L"Korvo]Quar", false, {"ERR: Invalid character on position 5."}},
        {L"Korvo'", false, {"ERR: Invalid character on position 5."}},
        {L"Korvo Quar", false, {"ERR: Invalid character on position 5."}},
        {std::wstring(130, L'k'), true, {"ERR: Name too long."}},
        {std::wstring(123, L'k'), true, {}},
    };
    for (const NameCase& c : cases) {
        const testsupport::TraceCapture trace;
        EXPECT_EQ(ValidateDatabaseName(c.strName.c_str()), c.bValid) << WideToNarrow(c.strName);
        EXPECT_EQ(trace.Messages(), c.lines) << WideToNarrow(c.strName);
    }
    EXPECT_FALSE(ValidateDatabaseName(nullptr));
}

TEST(ValidateBackupFileName, RefusesOnlySingleQuotes)
{
    const NameCase cases[] = {
        {L"C:\\Backups\\Korvo Quar.dat", true, {}},
        {L"/var/opt/mssql/data/b.dat", true, {}},
        {L"", true, {}},
        {L"o'neil.dat", false, {"ERR: Invalid character on position 1."}},
        {std::wstring(521, L'f'), true, {"ERR: Name too long."}},
        {std::wstring(520, L'f'), true, {}},
    };
    for (const NameCase& c : cases) {
        const testsupport::TraceCapture trace;
        EXPECT_EQ(ValidateBackupFileName(c.strName.c_str()), c.bValid) << WideToNarrow(c.strName);
        EXPECT_EQ(trace.Messages(), c.lines) << WideToNarrow(c.strName);
    }
    EXPECT_FALSE(ValidateBackupFileName(nullptr));
}
