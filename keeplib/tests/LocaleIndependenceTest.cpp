// What the library decides about names and texts must not change with the locale its caller set:
// each question is asked under the C locale and under C.UTF-8, and must get the same answer,
// the one a Unicode reading of the text gives.

#include "database/DBScriptHelper.h"
#include "database/NameValidation.h"
#include "discovery/LocalComputerNames.h"
#include "platform/Registry.h"
#include "platform/Win32Error.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

namespace {

struct LocaleCase
{
    const char* szQuestion;
    std::function<bool()> ask;
    bool bExpected;
};

// The number of batches the splitter cuts the text into.
int CountBatches(const std::wstring& strScript)
{
    const wchar_t* pCursor = strScript.c_str();
    std::wstring strBatch;
    int cBatches = 0;
    while (DBScriptHelper::GetNextBatch(pCursor, strBatch) == S_OK)
        ++cBatches;
    return cBatches;
}

bool RegistryKeyOpens(const std::string& strFileKey, std::wstring_view asked)
{
    const platform::Registry registry =
        platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Software\\" + strFileKey + "]\r\n\"V\"=dword:1\r\n");
    platform::RegistryKey key;
    return registry.OpenKey(asked, key) == platform::ERROR_SUCCESS;
}

class ScopedLocale
{
public:
    explicit ScopedLocale(const char* szLocale) : m_strPrevious(std::setlocale(LC_ALL, nullptr))
    {
        m_bSet = std::setlocale(LC_ALL, szLocale) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, m_strPrevious.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool IsSet() const { return m_bSet; }

private:
    std::string m_strPrevious;
    bool m_bSet = false;
};

} // namespace

TEST(LocaleIndependence, NamesAndScriptsAreJudgedAlikeInEveryLocale)
{
    const testsupport::TraceCapture trace; // the validators trace their refusals
    const LocaleCase cases[] = {
        {"a database name with a letter beyond ASCII", [] { return Keeplibs::ValidateDatabaseName(L"Caf\u00e9"); },
         true},
        {"a database name that starts with a Greek letter",
         [] { return Keeplibs::ValidateDatabaseName(L"\u03a9mega_1"); }, true},
        {"a database name with a currency sign", [] { return Keeplibs::ValidateDatabaseName(L"Korvo\u20ac"); }, false},
        {"a server name in another case",
         [] { return Keeplibs::MatchServerName(L"s\u00e9rveur", L"S\u00c9RVEUR\\INST"); }, true},
        {"a registry key in another case",
         [] {
             return RegistryKeyOpens("\xc3\x9c"
                                     "NIC\xc3\x96"
                                     "DE",
                                     L"Software\\\u00fcnic\u00f6de");
         },
         true},
        {"GO followed by an ideographic space",
         [] { return CountBatches(L"SELECT 1\r\nGO\u3000\r\nSELECT 2\r\n") == 2; }, true},
        {"GO followed by a no-break space", [] { return CountBatches(L"SELECT 1\r\nGO\u00a0\r\nSELECT 2\r\n") == 1; },
         true},
    };
    for (const char* szLocale : {"C", "C.UTF-8"}) {
        const ScopedLocale locale(szLocale);
        ASSERT_TRUE(locale.IsSet()) << szLocale;
        for (const LocaleCase& c : cases)
            EXPECT_EQ(c.ask(), c.bExpected) << c.szQuestion << " in the locale " << szLocale;
    }
}
