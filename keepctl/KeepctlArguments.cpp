#include "KeepctlArguments.h"

#include "Console.h"
#include "common/StringUtils.h"
#include "keeplib/DatabaseKinds.h"
#include "trace/TraceScope.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <string_view>

namespace {

constexpr const char* kPasswordVariable = "VESTREL_PASSWORD";

constexpr std::array<std::pair<std::wstring_view, KeepctlCommand>, 10> kCommands{{
    {L"BACKUP", KeepctlCommand::Backup},
    {L"RESTORE", KeepctlCommand::Restore},
    {L"SETUP", KeepctlCommand::Setup},
    {L"DELETE", KeepctlCommand::Delete},
    {L"VERSION", KeepctlCommand::Version},
    {L"BROWSESQLSERVERS", KeepctlCommand::BrowseSqlServers},
    {L"SQLSERVERCHECK", KeepctlCommand::SqlServerCheck},
    {L"SQLSERVERCHECKSVRROLE", KeepctlCommand::SqlServerCheckSvrRole},
    {L"LOCALSQLSERVERTYPE", KeepctlCommand::LocalSqlServerType},
    {L"VALIDATESQLSERVERNAME", KeepctlCommand::ValidateSqlServerName},
}};

// An argument as it is traced: one may hold any bytes, and a path with a line end in it must not
// forge lines of the trace.
std::wstring Traced(const wchar_t* wszArgument)
{
    return EscapeControlCharacters(std::wstring_view(wszArgument));
}

void PrintUnknownOption()
{
    Keepctl::Print(L"Unknown option (arguments are case sensitive).\n");
    TRACE_ERROR(TRACE_FAILURE, L"Unknown option (this program is case sensitive).");
}

// A decimal signed 32-bit number, leading blanks allowed, nothing after it.
bool ParseTimeout(const wchar_t* wszValue, std::int32_t& lValue)
{
    wchar_t* pEnd = nullptr;
    errno = 0;
    const long lParsed = std::wcstol(wszValue, &pEnd, 10);
    if (pEnd == wszValue || *pEnd != L'\0' || errno == ERANGE || lParsed < INT32_MIN || lParsed > INT32_MAX)
        return false;
    lValue = static_cast<std::int32_t>(lParsed);
    return true;
}

// Leading digits count and the rest is ignored, as wcstol reads it where long has 32 bits: a
// number out of range is the nearest limit, whatever the width of long here.
std::int32_t ReadLeadingNumber(const wchar_t* wszValue)
{
    const long lParsed = std::wcstol(wszValue, nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long>(lParsed, INT32_MIN, INT32_MAX));
}

} // namespace

KeepctlArguments::KeepctlArguments()
{
    TRACE_SCOPE(L"KeepctlArguments::KeepctlArguments()");
}

bool KeepctlArguments::ReadArguments(int argc, const wchar_t* const* argv)
{
    TRACE_SCOPE(L"KeepctlArguments::ReadArguments()");
    TRACE_INFO(TRACE_NORMAL, L"argc=%d", argc);
    if (argc < 2) {
        Keepctl::Print(L"Not enough parameters.\n");
        return false;
    }
    const std::wstring_view commandWord(argv[1]);
    for (const auto& [word, value] : kCommands) {
        if (word == commandWord)
            command = value;
    }
    if (command == KeepctlCommand::None) {
        if (commandWord != L"-?" && commandWord != L"/?")
            PrintUnknownOption();
        return false;
    }
    if (!ReadOptions(argc, argv) || !CheckMandatoryArguments(argc, argv))
        return false;
    if (lAuthType == 1 && passwordArgIndexes.empty()) {
        if (const char* szPassword = std::getenv(kPasswordVariable)) {
            TRACE_INFO(TRACE_NORMAL, L"Password taken from VESTREL_PASSWORD");
            strPassword = NarrowToWide(szPassword);
        }
    }
    return true;
}

bool KeepctlArguments::ReadOptions(int argc, const wchar_t* const* argv)
{
    struct Option
    {
        std::wstring_view name;
        const wchar_t* wszSeen;
        const wchar_t* wszValueTrace; // null: the value is never traced
        std::wstring KeepctlArguments::*pText;
    };
    const std::array<Option, 8> textOptions{{
        {L"-b", L"Backup file option specified", L"strBackupFile=%ls", &KeepctlArguments::strBackupFile},
        {L"-s", L"Server option specified", L"strServer=%ls", &KeepctlArguments::strServer},
        {L"-u", L"Username option specified", L"strAuthUser=%ls", &KeepctlArguments::strAuthUser},
        {L"-p", L"Password option specified", nullptr, &KeepctlArguments::strPassword},
        {L"-sr", L"Server role option specified", L"strSvrRole=%ls", &KeepctlArguments::strSvrRole},
        {L"-d", L"Domain option specified", L"strDomain=%ls", &KeepctlArguments::strDomain},
        {L"-o", L"Output-file option specified", L"strOutputFilePath=%ls", &KeepctlArguments::strOutputFilePath},
        {L"-a", L"Service-account option specified", L"strServiceAccount=%ls", &KeepctlArguments::strServiceAccount},
    }};

    TRACE_INFO(TRACE_NORMAL, L"Process optional arguments");
    for (int iArgIndex = 2; iArgIndex < argc; ++iArgIndex) {
        const std::wstring_view argument(argv[iArgIndex]);
        TRACE_INFO(TRACE_DETAIL, L"iArgIndex=%d", iArgIndex);
        TRACE_INFO(TRACE_DETAIL, L"Argument=%ls", Traced(argv[iArgIndex]).c_str());
        if (!argument.starts_with(L'-')) {
            TRACE_INFO(TRACE_DETAIL, L"Skipping non-optional argument");
            continue;
        }
        const wchar_t* wszSeen = nullptr;
        const Option* pTextOption = nullptr;
        for (const Option& option : textOptions) {
            if (option.name == argument)
                pTextOption = &option, wszSeen = option.wszSeen;
        }
        if (argument == L"-cn")
            wszSeen = L"Connection timeout option specified";
        else if (argument == L"-cm")
            wszSeen = L"Command timeout option specified";
        else if (argument == L"-t")
            wszSeen = L"Server-type option specified";
        if (!wszSeen) {
            Keepctl::Print(L"Unexpected option: " + std::wstring(argument) + L"\n");
            TRACE_ERROR(TRACE_FAILURE, L"Unexpected option: %ls", Traced(argv[iArgIndex]).c_str());
            return false;
        }
        TRACE_INFO(TRACE_NORMAL, L"%ls", wszSeen);
        if (iArgIndex + 1 >= argc) {
            Keepctl::Print(L"Missing argument for " + std::wstring(argument) + L" option\n");
            return false;
        }
        const wchar_t* wszValue = argv[++iArgIndex];
        if (pTextOption) {
            this->*(pTextOption->pText) = wszValue;
            if (pTextOption->wszValueTrace)
                TRACE_INFO(TRACE_NORMAL, pTextOption->wszValueTrace, Traced(wszValue).c_str());
            if (argument == L"-u")
                lAuthType = 1;
            else if (argument == L"-p")
                passwordArgIndexes.push_back(iArgIndex);
        } else if (argument == L"-t") {
            const std::int32_t lType = ReadLeadingNumber(wszValue);
            if (lType < 1 || lType > 7) {
                Keepctl::Print(L"Bad argument for -t option: " + std::to_wstring(lType) + L" (expected 1-7)\n");
                return false;
            }
            lServerType = lType;
            TRACE_INFO(TRACE_NORMAL, L"lServerType=%d", lServerType);
        } else {
            const bool bConnection = argument == L"-cn";
            std::int32_t& lTimeout = bConnection ? lConnectionTimeout : lCommandTimeout;
            if (!ParseTimeout(wszValue, lTimeout)) {
                TRACE_ERROR(TRACE_FAILURE,
                            bConnection ? L"Bad argument for -cn option: %ls" : L"Bad argument for -cm option: %ls",
                            Traced(wszValue).c_str());
                return false;
            }
            TRACE_INFO(TRACE_NORMAL, bConnection ? L"lConnectionTimeout=%ld" : L"lCommandTimeout=%ld",
                       static_cast<long>(lTimeout));
        }
    }
    return true;
}

bool KeepctlArguments::CheckMandatoryArguments(int argc, const wchar_t* const* argv)
{
    TRACE_INFO(TRACE_NORMAL, L"Process mandatory arguments");
    const auto require = [](const std::wstring& strValue, const wchar_t* wszMessage) {
        if (strValue.empty())
            Keepctl::Print(wszMessage);
        return !strValue.empty();
    };
    switch (command) {
    case KeepctlCommand::Backup:
    case KeepctlCommand::Restore:
    case KeepctlCommand::Setup:
    case KeepctlCommand::Delete:
    case KeepctlCommand::Version:
        if (argc < 3) {
            Keepctl::Print(L"Not enough parameters.\n");
            return false;
        }
        if (!require(strServer, L"Missing -s parameter.\n"))
            return false;
        if (command == KeepctlCommand::Setup && !require(strServiceAccount, L"Missing -a parameter.\n"))
            return false;
        return ReadDatabaseKeyword(argv[2]);
    case KeepctlCommand::SqlServerCheck:
        return require(strServer, L"Missing -s parameter.\n");
    case KeepctlCommand::SqlServerCheckSvrRole:
        return require(strServer, L"Missing -s parameter.\n") && require(strSvrRole, L"Missing -sr parameter.\n");
    case KeepctlCommand::LocalSqlServerType:
        if (argc < 3) {
            Keepctl::Print(L"Not enough parameters.\n");
            return false;
        }
        if (std::wcschr(argv[2], L'\\')) {
            Keepctl::Print(L"Unexpected '\\' character. Only the short server-name is required (e.g. 'VESTREL').\n");
            return false;
        }
        strShortServerName = argv[2];
        return true;
    case KeepctlCommand::ValidateSqlServerName:
        if (!require(strServer, L"Missing -s parameter.\n"))
            return false;
        if (lServerType == 0) {
            Keepctl::Print(L"Missing -t parameter.\n");
            return false;
        }
        return true;
    case KeepctlCommand::BrowseSqlServers:
    case KeepctlCommand::None:
        break;
    }
    return true;
}

bool KeepctlArguments::ReadDatabaseKeyword(const wchar_t* wszKeyword)
{
    const auto kind = Keeplibs::FindDatabaseKindByKeyword(wszKeyword);
    if (!kind) {
        PrintUnknownOption();
        return false;
    }
    lDatabaseType = kind->lDatabaseType;
    strDatabaseName = kind->wszDatabaseName;
    return true;
}
