// keepctl: parses one command, calls the matching operation of the library, prints the outcome
// and exits with its result.

#include "Console.h"
#include "KeepctlArguments.h"
#include "Usage.h"
#include "common/StringUtils.h"
#include "keeplib/Exports.h"
#include "platform/ComApartment.h"
#include "platform/SafeFiles.h"
#include "platform/TempFile.h"
#include "platform/Win32Error.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"
#include "trace/TracedErrorLadder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Prints the list file that a browse call wrote, as it stands.
void PrintListFile(int fdList)
{
    std::array<char, 4096> block{};
    off_t offset = 0;
    ssize_t cbRead = 0;
    while ((cbRead = ::pread(fdList, block.data(), block.size(), offset)) > 0) {
        std::fwrite(block.data(), 1, static_cast<std::size_t>(cbRead), stdout);
        offset += cbRead;
    }
    std::fflush(stdout);
}

// A new list file in the temporary folder, held open for reading from the moment it was made: in
// a folder others can write, its name may come to stand for another file, the file read back
// cannot.
DWORD ReserveListFile(std::filesystem::path& listFile, CAutoFileHandle& listReader)
{
    CAutoFileHandle writer;
    if (const DWORD dwError = platform::CreateTempFile(platform::GetTempPath(), L"BSS", listFile, writer))
        return dwError;
    listReader =
        platform::OpenRegularFile(AT_FDCWD, listFile.c_str(), O_RDONLY | O_CLOEXEC, platform::LinkPolicy::Refuse);
    struct stat made = {};
    struct stat opened = {};
    if (!listReader || ::fstat(writer.Get(), &made) != 0 || ::fstat(listReader.Get(), &opened) != 0 ||
        made.st_dev != opened.st_dev || made.st_ino != opened.st_ino) {
        listReader.Reset();
        return platform::ERROR_ACCESS_DENIED;
    }
    return platform::ERROR_SUCCESS;
}

HRESULT BrowseSqlServers(const KeepctlArguments& args)
{
    HRESULT hr = S_OK;
    std::filesystem::path listFile;
    CAutoFileHandle listReader;
    const bool bTemporary = args.strOutputFilePath.empty();
    if (!bTemporary) {
        listFile = WideToNarrow(args.strOutputFilePath);
    } else if (const DWORD dwError = ReserveListFile(listFile, listReader); dwError != platform::ERROR_SUCCESS) {
        TRACE_ERROR(TRACE_FAILURE, L"GetTempFileNameW failed GLE=(%d).", static_cast<int>(dwError));
        hr = HRESULT_FROM_WIN32(dwError);
    }
    if (SUCCEEDED(hr)) {
        const std::wstring strListFile = NarrowToWide(listFile.native());
        constexpr std::array<std::pair<std::int32_t, const wchar_t*>, 3> kKinds{{
            {2, L"[local computer]\n"},
            {4, L"[local cluster]\n"},
            {1, L"[remote servers]\n"},
        }};
        for (const auto& [lType, wszHeading] : kKinds) {
            if (args.lServerType != 0 && (args.lServerType & lType) == 0)
                continue;
            const HRESULT hrBrowse = KeeplibBrowseSQLServers(lType, strListFile.c_str(), args.strDomain.c_str());
            if (SUCCEEDED(hrBrowse)) {
                Keepctl::Print(wszHeading);
                if (!bTemporary)
                    listReader = platform::OpenRegularFile(AT_FDCWD, listFile.c_str(), O_RDONLY | O_CLOEXEC,
                                                           platform::LinkPolicy::Refuse);
                if (listReader)
                    PrintListFile(listReader.Get());
            }
            // Every section that could be listed is printed, but a search that failed is not
            // forgotten because a later one succeeded: the first failure is the result.
            if (SUCCEEDED(hr))
                hr = hrBrowse;
        }
    }
    std::error_code error;
    if (bTemporary && !listFile.empty() && !std::filesystem::remove(listFile, error))
        TRACE_ERROR(TRACE_FAILURE, L"Deleting szTempPathFileA failed .");
    return hr;
}

HRESULT Dispatch(const KeepctlArguments& args)
{
    const wchar_t* const wszServer = args.strServer.c_str();
    const wchar_t* const wszDatabase = args.strDatabaseName.c_str();
    const wchar_t* const wszUser = args.strAuthUser.c_str();
    const wchar_t* const wszPassword = args.strPassword.c_str();
    HRESULT hr = E_UNEXPECTED;
    switch (args.command) {
    case KeepctlCommand::Backup:
        hr = KeeplibBackup(args.lCommandTimeout, wszServer, wszDatabase, args.strBackupFile.c_str(),
                           args.lConnectionTimeout, args.lAuthType, wszUser, wszPassword);
        if (hr == S_FALSE && args.strBackupFile.empty())
            Keepctl::Print(L"Auto backup failed. Try to provide a backup file name.\n");
        else if (SUCCEEDED(hr))
            Keepctl::Print(L"BACKUP done!\n");
        break;
    case KeepctlCommand::Restore:
        hr = KeeplibRestore(args.lCommandTimeout, wszServer, wszDatabase, args.strBackupFile.c_str(),
                            args.lConnectionTimeout, args.lAuthType, wszUser, wszPassword);
        if (SUCCEEDED(hr))
            Keepctl::Print(L"RESTORE done!\n");
        break;
    case KeepctlCommand::Setup:
        hr = KeeplibSetup(args.lCommandTimeout, wszServer, wszDatabase, args.lConnectionTimeout, args.lAuthType,
                          wszUser, wszPassword, args.lDatabaseType, args.strServiceAccount.c_str());
        if (hr == S_FALSE)
            Keepctl::Print(FormatW(L"WARNING: Setup was unable to configure the access permissions on SQL Server "
                                   L"instance '%ls' for user '%ls'.\n",
                                   wszServer, args.strServiceAccount.c_str()));
        if (SUCCEEDED(hr))
            Keepctl::Print(L"SETUP done!\n");
        break;
    case KeepctlCommand::Delete:
        hr = KeeplibDropDatabase(args.lCommandTimeout, wszServer, wszDatabase, args.lConnectionTimeout, args.lAuthType,
                                 wszUser, wszPassword);
        if (SUCCEEDED(hr))
            Keepctl::Print(L"DELETE done!\n");
        break;
    case KeepctlCommand::Version: {
        std::int32_t lMajor = 0;
        std::int32_t lMinor = 0;
        std::array<char, 20> szBuild{};
        std::int32_t lBuildLength = static_cast<std::int32_t>(szBuild.size());
        hr = KeeplibVersion(args.lCommandTimeout, wszServer, wszDatabase, &lMajor, &lMinor, szBuild.data(),
                            &lBuildLength, args.lConnectionTimeout, args.lAuthType, wszUser, wszPassword,
                            args.lDatabaseType);
        if (SUCCEEDED(hr)) {
            const auto cchBuild =
                static_cast<std::size_t>(std::clamp(lBuildLength, 0, static_cast<std::int32_t>(szBuild.size())));
            const std::wstring strBuild = NarrowToWide(std::string_view(szBuild.data(), cchBuild));
            Keepctl::Print(cchBuild >= 1 ? FormatW(L"VERSION is %d.%d build %ls\n", lMajor, lMinor, strBuild.c_str())
                                         : FormatW(L"VERSION is %d.%d\n", lMajor, lMinor));
        }
        break;
    }
    case KeepctlCommand::BrowseSqlServers:
        hr = BrowseSqlServers(args);
        break;
    case KeepctlCommand::SqlServerCheck:
        hr = KeeplibSQLServerCheck(args.lCommandTimeout, wszServer, args.lConnectionTimeout, args.lAuthType, wszUser,
                                   wszPassword);
        if (hr == S_FALSE)
            Keepctl::Print(L"WARNING: SQL server version is unsupported\n");
        if (SUCCEEDED(hr))
            Keepctl::Print(L"SQLSERVERCHECK done!\n");
        break;
    case KeepctlCommand::SqlServerCheckSvrRole:
        hr = KeeplibSQLServerCheckSvrRole(args.lCommandTimeout, wszServer, args.lConnectionTimeout, args.lAuthType,
                                          wszUser, wszPassword, args.strSvrRole.c_str());
        if (SUCCEEDED(hr))
            Keepctl::Print(L"SQLSERVERCHECKSVRROLE done!\n");
        break;
    case KeepctlCommand::LocalSqlServerType: {
        std::int32_t lType = 0;
        hr = KeeplibGetLocalSqlServerType(args.strShortServerName.c_str(), &lType);
        if (SUCCEEDED(hr)) {
            Keepctl::Print(FormatW(L"LOCALSQLSERVERTYPE is %d.\n", lType));
            hr = lType;
        }
        break;
    }
    case KeepctlCommand::ValidateSqlServerName:
        hr = KeeplibValidateSQLServerName(args.lServerType, wszServer);
        if (SUCCEEDED(hr))
            Keepctl::Print(L"VALIDATESQLSERVERNAME done!\n");
        break;
    case KeepctlCommand::None:
        break;
    }
    return hr;
}

HRESULT Run(int argc, char** argv)
{
    TRACE_SCOPE(L"wmain()");
    // Arguments arrive in UTF-8 and the program works in wide text, as its library does.
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(NarrowToWide(argv[i]));
    std::vector<const wchar_t*> wideArgv;
    for (const auto& argument : arguments)
        wideArgv.push_back(argument.c_str());

    KeepctlArguments args;
    const bool bComplete = args.ReadArguments(argc, wideArgv.data());
    // The program holds its own copy of the password now: blanking the argument takes it out of
    // the process list, where every account of the machine could read it.
    for (const int iIndex : args.passwordArgIndexes)
        std::memset(argv[iIndex], 0, std::strlen(argv[iIndex]));
    if (!bComplete) {
        Keepctl::Print(Keepctl::kUsageText);
        return E_INVALIDARG;
    }
    HRESULT hr = E_UNEXPECTED;
    try {
        {
            const UTIL::COM::CCoInitialize apartment(platform::COINIT_MULTITHREADED, true);
            hr = Dispatch(args);
        }
        TRACE_INFO(TRACE_NORMAL, L"Success");
    } catch (...) {
        hr = TRACE_CAUGHT_EXCEPTION();
    }
    TRACE_INFO(TRACE_NORMAL, L"Returning, hr=0x%08x", HResultBits(hr));
    if (FAILED(hr))
        Keepctl::Print(FormatW(L"Failed with code 0x%08x.\n", HResultBits(hr)));
    return hr;
}

} // namespace

int main(int argc, char** argv)
{
    return ExitStatusFromHResult(Run(argc, argv));
}
