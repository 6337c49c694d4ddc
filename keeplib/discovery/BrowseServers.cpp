// The exports that find SQL Server instances, report the type of a local one, and tell whether a
// server name is of the kinds asked for; and the browse itself, which writes the names found in
// this computer's registry, its cluster and the network to a list file.

#include "CallFrame.h"
#include "GetComputerClusterName.h"
#include "InstanceSources.h"
#include "ServerDiscovery.h"
#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "keeplib/Exports.h"
#include "platform/SafeFiles.h"
#include "trace/TraceScope.h"

#include <fcntl.h>

namespace Keeplibs {
namespace {

// Created or emptied, as "w" would; but never through a symbolic link, a pipe or a device that
// stands at the name: the list file often lies in a folder that others can write to.
std::FILE* OpenListFile(const wchar_t* pstrSaveListToFile)
{
    if (!pstrSaveListToFile)
        return nullptr;
    CAutoFileHandle file =
        platform::OpenRegularFile(AT_FDCWD, WideToNarrow(pstrSaveListToFile).c_str(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, platform::LinkPolicy::Refuse, 0666);
    std::FILE* const pFile = file ? ::fdopen(file.Get(), "w") : nullptr;
    if (pFile)
        file.Release();
    return pFile;
}

} // namespace

HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile, const wchar_t* pstrUserDomain)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibBrowseSQLServers()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        TRACE_INFO(TRACE_NORMAL, L"lType=%ld", static_cast<long>(lType));
        TRACE_INFO(TRACE_NORMAL, L"pstrSaveListToFile='%ls'", pstrSaveListToFile ? pstrSaveListToFile : L"");
        TRACE_INFO(TRACE_NORMAL, L"pstrUserDomain='%ls'", pstrUserDomain ? pstrUserDomain : L"");
        // The file is emptied first: a browse that fails leaves it so.
        CAutoStdFileHandle file(OpenListFile(pstrSaveListToFile));
        if (!file) {
            TRACE_ERROR(TRACE_FAILURE, L"Failed to open file for writing.");
            return Abandoned(E_FAIL);
        }
        TRACE_INFO(TRACE_NORMAL, L"Determine the name of the (local) SQL server");
        const std::wstring bstrLocalName =
            UTIL::SERVERNAME::GetComputerClusterName(platform::netapi::ComputerNameNetBIOS);
        TRACE_INFO(TRACE_NORMAL, L"bstrLocalName='%ls'", bstrLocalName.c_str());

        CServerNameSet names;
        if (lType & kServerTypeLocalComputer) {
            if (const HRESULT hr = AddLocalComputerInstances(bstrLocalName, names); FAILED(hr))
                return Abandoned(hr);
        }
        if (lType & kServerTypeLocalCluster) {
            if (const HRESULT hr = AddLocalClusterInstances(names); FAILED(hr))
                return Abandoned(hr);
        }
        if (lType & kServerTypeRemote) {
            if (const HRESULT hr = AddRemoteInstances(pstrUserDomain, names); FAILED(hr))
                return Abandoned(hr);
        }
        // A list that did not reach the disk is no list.
        const bool bWritten = names.WriteTo(file.Get());
        if (std::fclose(file.Release()) != 0 || !bWritten) {
            TRACE_ERROR(TRACE_FAILURE, L"Failed to write the list file.");
            return Abandoned(E_FAIL);
        }
        return Completed(S_OK);
    });
}

} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile,
                                            const wchar_t* pstrUserDomain)
{
    TRACE_SCOPE(L"KeeplibBrowseSQLServers()");
    return Keeplibs::KeeplibBrowseSQLServers(lType, pstrSaveListToFile, pstrUserDomain);
}

KEEPLIB_API HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType)
{
    TRACE_SCOPE(L"KeeplibGetLocalSqlServerType()");
    return Keeplibs::KeeplibGetLocalSqlServerType(pstrServerName, plType);
}

KEEPLIB_API HRESULT KeeplibValidateSQLServerName(std::int32_t lType, const wchar_t* pstrServerName)
{
    TRACE_SCOPE(L"KeeplibValidateSQLServerName()");
    return Keeplibs::KeeplibValidateSQLServerName(lType, pstrServerName);
}
