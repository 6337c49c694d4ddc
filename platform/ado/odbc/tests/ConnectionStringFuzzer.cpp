// Feeds arbitrary connection settings to the translation into an ODBC connection string, and
// reads each string back the way its driver reads it: every value must come back whole and
// unchanged under its own keyword, and no value may add a clause of its own. A refusal is right
// only for a value that the driver cannot be given.
//
// The bytes are split at zero bytes: flags (bit 0 integrated login, bit 1 another driver than
// FreeTDS), data source, failover partner, user, password, initial catalog.

#include "OdbcConnectionString.h"
#include "common/StringUtils.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using platform::ado::ConnectionProperties;
using namespace platform::ado::odbc;

using Clause = std::pair<std::wstring, std::wstring>;

// A value in braces at the start of the text, as the driver reads it, and the characters it
// took. For FreeTDS it ends at the first "}" that a ";" follows, "}}" staying two characters; by
// ODBC's own rule at a "}" that is not doubled, "}}" standing for "}".
std::pair<std::wstring, std::size_t> ReadBraced(std::wstring_view text, OdbcQuoting quoting)
{
    std::wstring value;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const bool bClose = text[i] == L'}';
        const bool bNextIsEnd = i + 1 == text.size() || text[i + 1] == L';';
        if (bClose && quoting == OdbcQuoting::FreeTds && bNextIsEnd)
            return {value, i + 1};
        if (bClose && quoting == OdbcQuoting::Standard) {
            if (i + 1 == text.size() || text[i + 1] != L'}')
                return {value, i + 1};
            ++i;
        }
        value += text[i];
    }
    std::abort(); // a brace that is never closed
}

// The "keyword=value;" clauses of a connection string as the driver reads them.
std::vector<Clause> ReadClauses(std::wstring_view text, OdbcQuoting quoting)
{
    std::vector<Clause> clauses;
    while (!text.empty()) {
        const std::size_t equals = text.find(L'=');
        if (equals == std::wstring_view::npos)
            std::abort(); // every clause of ours has a keyword and a value
        Clause clause{std::wstring(text.substr(0, equals)), L""};
        text.remove_prefix(equals + 1);
        std::size_t cchTaken = 0;
        if (text.starts_with(L'{')) {
            std::tie(clause.second, cchTaken) = ReadBraced(text, quoting);
        } else {
            cchTaken = std::min(text.find(L';'), text.size());
            clause.second = std::wstring(text.substr(0, cchTaken));
        }
        // The clause's ";", where there is one.
        text.remove_prefix(std::min(cchTaken + 1, text.size()));
        clauses.push_back(std::move(clause));
    }
    return clauses;
}

std::vector<std::string> SplitAtZeros(const std::uint8_t* pData, std::size_t cbData)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < cbData; ++i) {
        if (pData[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(pData[i]);
    }
    parts.resize(6);
    return parts;
}

void CheckTarget(const OdbcConnectTarget& target, const ConnectionProperties& properties,
                 const OdbcDriverSettings& settings)
{
    const std::vector<Clause> clauses = ReadClauses(target.strOdbcConnectionString, settings.quoting);
    std::vector<Clause> expected{{L"DRIVER", settings.strDriver}, {L"Server", L""}};
    if (properties.bIntegratedSecurity) {
        expected.emplace_back(L"Trusted_Connection", L"Yes");
    } else {
        expected.emplace_back(L"UID", properties.strUserId);
        expected.emplace_back(L"PWD", properties.strPassword);
    }
    if (!properties.strInitialCatalog.empty())
        expected.emplace_back(L"Database", properties.strInitialCatalog);
    expected.emplace_back(L"TDS_Version", L"7.4");
    if (clauses.size() != expected.size())
        std::abort(); // a value became a clause of its own, or a clause went missing
    for (std::size_t i = 0; i < clauses.size(); ++i) {
        // The server's name is the data source as the driver names this computer: only its
        // keyword is checked.
        if (clauses[i].first != expected[i].first || (i != 1 && clauses[i].second != expected[i].second))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const std::vector<std::string> parts = SplitAtZeros(pData, cbData);
    const unsigned uFlags = parts[0].empty() ? 0 : static_cast<unsigned char>(parts[0][0]);
    ConnectionProperties properties;
    properties.bIntegratedSecurity = (uFlags & 1) != 0;
    properties.strDataSource = NarrowToWide(parts[1]);
    properties.strFailoverPartner = NarrowToWide(parts[2]);
    properties.strUserId = NarrowToWide(parts[3]);
    properties.strPassword = NarrowToWide(parts[4]);
    properties.strInitialCatalog = NarrowToWide(parts[5]);
    OdbcDriverSettings settings;
    if (uFlags & 2)
        settings = {L"ODBC Driver 18 for SQL Server", L"TDS_Version=7.4", OdbcQuoting::Standard};

    try {
        const OdbcConnectPlan plan = BuildConnectPlan(properties, settings);
        if (plan.targets.size() != (properties.strFailoverPartner.empty() ? 1u : 2u))
            std::abort();
        for (const OdbcConnectTarget& target : plan.targets)
            CheckTarget(target, properties, settings);
    } catch (const COdbcValueRefused&) {
        // Only FreeTDS refuses, and only a value that holds "};".
        const bool bUncarriable =
            settings.quoting == OdbcQuoting::FreeTds &&
            (properties.strDataSource.find(L"};") != std::wstring::npos ||
             properties.strFailoverPartner.find(L"};") != std::wstring::npos ||
             (!properties.bIntegratedSecurity && (properties.strUserId.find(L"};") != std::wstring::npos ||
                                                  properties.strPassword.find(L"};") != std::wstring::npos)) ||
             properties.strInitialCatalog.find(L"};") != std::wstring::npos);
        if (!bUncarriable)
            std::abort();
    }
    return 0;
}
