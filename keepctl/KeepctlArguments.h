#pragma once
// keepctl's command line: one command word, a database keyword or server name for some commands,
// and options that each take the next argument as their value.

#include <cstdint>
#include <string>
#include <vector>

enum class KeepctlCommand {
    None,
    Backup,
    Restore,
    Setup,
    Delete,
    Version,
    BrowseSqlServers,
    SqlServerCheck,
    SqlServerCheckSvrRole,
    LocalSqlServerType,
    ValidateSqlServerName,
};

class KeepctlArguments
{
public:
    KeepctlArguments();

    // True when the command line is complete and consistent. Every false has printed its own
    // message, if it has one; the caller prints the usage text. A SQL login (-u) without -p takes
    // its password from the environment variable VESTREL_PASSWORD, which keeps it out of the
    // process list.
    bool ReadArguments(int argc, const wchar_t* const* argv);

    KeepctlCommand command = KeepctlCommand::None;
    std::wstring strServer;
    std::wstring strDatabaseName = L"KorvoQuar";
    std::wstring strBackupFile;
    std::int32_t lConnectionTimeout = 30;
    std::int32_t lAuthType = 0;
    std::wstring strAuthUser;
    std::wstring strPassword;
    std::wstring strSvrRole;
    std::wstring strDomain;
    std::int32_t lCommandTimeout = 60;
    std::uint32_t lDatabaseType = 0;
    std::wstring strShortServerName;
    std::int32_t lServerType = 0;
    std::wstring strOutputFilePath;
    std::wstring strServiceAccount;
    // Where the values of -p stood in argv, each of them (the last one counts, but every one is
    // a password someone typed). The caller blanks those arguments.
    std::vector<int> passwordArgIndexes;

private:
    bool ReadOptions(int argc, const wchar_t* const* argv);
    bool CheckMandatoryArguments(int argc, const wchar_t* const* argv);
    bool ReadDatabaseKeyword(const wchar_t* wszKeyword);
};
