// The SQL Server instances installed on this computer, as its registry lists them.

#include "InstanceSources.h"

#include "common/StringUtils.h"
#include "platform/Registry.h"
#include "platform/Win32Error.h"
#include "trace/ICDebug.h"

#include <array>
#include <new>
#include <optional>
#include <vector>

namespace Keeplibs {
namespace {

using platform::Registry;
using platform::RegistryKey;

constexpr std::wstring_view kSqlServerKey = L"SOFTWARE\\Microsoft\\Microsoft SQL Server";
constexpr std::wstring_view kInstanceNamesKey = L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\Instance Names\\SQL";
constexpr std::wstring_view kOlderInstallationKey = L"SOFTWARE\\Microsoft\\MSSQLServer";

// Subkeys of the SQL Server key that hold no instance.
constexpr std::array<std::wstring_view, 23> sc_wszExcludedKeys = {
    L"8.00.000",
    L"80",
    L"Component Set",
    L"90",
    L"ExceptionMessageBox",
    L"Instance Names",
    L"Services",
    L"SBSMONITORING",
    L"SHAREPOINT",
    L"MSSQL10.SHAREPOINT",
    L"WSUS",
    L"MSFW",
    L"MICROSOFT##SSEE",
    L"MSSQL.2005",
    L"100",
    L"BOL",
    L"RefCount",
    L"SharedManagementObjects",
    L"SQLNCLI10",
    L"SqlWriter",
    L"OFFICESERVERS",
    L"ADOMD",
    L"SCE",
};
constexpr std::array<std::wstring_view, 1> sc_wszExcludedInstanceNames = {L"OFFICESERVERS"};

// Analysis, OLAP and reporting entries look like instances; their collector parameters tell.
struct SkippedCollector
{
    std::wstring_view prefix;
    const wchar_t* wszTrace;
};
constexpr std::array<SkippedCollector, 3> sc_wszSkippedCollectorPrefixes = {{
    {L"OLAP ", L"Skipping OLAP entry"},
    {L"AS ", L"Skipping anaysis services entry"},
    {L"RS ", L"Skipping reporting services entry"},
}};

template <std::size_t N> bool IsListedNoCase(const std::array<std::wstring_view, N>& list, std::wstring_view name)
{
    for (const std::wstring_view entry : list) {
        if (UTIL::STR::EqualsNoCase(entry, name))
            return true;
    }
    return false;
}

std::wstring Below(std::wstring_view key, std::wstring_view subkey)
{
    return std::wstring(key) + L'\\' + std::wstring(subkey);
}

// A REG_SZ value as text, up to its terminator.
std::wstring StringFromValue(const std::vector<std::uint8_t>& data)
{
    std::wstring strValue = UTIL::STR::Utf16LeToWide(data);
    strValue.resize(std::min(strValue.find(L'\0'), strValue.size()));
    return strValue;
}

// Whether the key holds a REG_SZ value of that name; the failure to find one, as the registry
// answered it.
struct StringValueLookup
{
    bool bFound;
    DWORD dwError;
    DWORD dwType;
};
StringValueLookup LookUpStringValue(const RegistryKey& key, std::wstring_view valueName)
{
    DWORD dwType = platform::REG_NONE;
    DWORD cbData = 0;
    const DWORD dwError = key.QueryValue(valueName, &dwType, nullptr, &cbData);
    return {dwError == platform::ERROR_SUCCESS && dwType == platform::REG_SZ, dwError, dwType};
}

// A clustered installation names its cluster below its "Cluster" key; it is listed by the
// cluster source, not here.
bool IsClustered(const Registry& registry, const std::wstring& strInstallationKey, const wchar_t* wszMissingTrace,
                 std::optional<DWORD> index)
{
    RegistryKey clusterKey;
    if (const DWORD dwError = registry.OpenKey(Below(strInstallationKey, L"Cluster"), clusterKey); dwError != 0) {
        if (index)
            TRACE_INFO(TRACE_FAILURE, wszMissingTrace, static_cast<unsigned>(*index), static_cast<int>(dwError));
        else
            TRACE_INFO(TRACE_FAILURE, wszMissingTrace, static_cast<int>(dwError));
        return false;
    }
    const StringValueLookup clusterName = LookUpStringValue(clusterKey, L"ClusterName");
    if (!clusterName.bFound)
        TRACE_ERROR(TRACE_FAILURE, L"RegQueryValueEx(ClusterName) failed %d,%u.", static_cast<int>(clusterName.dwError),
                    static_cast<unsigned>(clusterName.dwType));
    return clusterName.bFound;
}

// The default instance of an installation older than instance keys: the computer's name alone.
void AddOlderDefaultInstance(const Registry& registry, const std::optional<RegistryKey>& instanceNames,
                             const std::wstring& bstrLocalName, CServerNameSet& names)
{
    RegistryKey key;
    if (const DWORD dwError = registry.OpenKey(kOlderInstallationKey, key); dwError != 0) {
        TRACE_INFO(TRACE_FAILURE, L"RegOpenKeyEx(Microsoft\\MSSQLServer) failed %d.", static_cast<int>(dwError));
        return;
    }
    const std::wstring strInstallation(kOlderInstallationKey);
    if (const DWORD dwError = registry.OpenKey(Below(strInstallation, L"MSSQLServer\\CurrentVersion"), key);
        dwError != 0) {
        TRACE_INFO(TRACE_FAILURE, L"RegOpenKeyEx(CurrentVersion)[default] failed %d.", static_cast<int>(dwError));
        return;
    }
    if (IsClustered(registry, strInstallation, L"RegOpenKeyEx(Cluster-default) failed %d.", std::nullopt))
        return;
    if (instanceNames) {
        const StringValueLookup listed = LookUpStringValue(*instanceNames, L"MSSQLSERVER");
        if (listed.bFound)
            return; // a newer installation lists its default instance itself
        TRACE_ERROR(TRACE_FAILURE, L"RegQueryValueEx(Instance Name MSSQLSERVER) failed %d,%u.",
                    static_cast<int>(listed.dwError), static_cast<unsigned>(listed.dwType));
    }
    TRACE_INFO(TRACE_NORMAL, L"Adding default instance: %ls", bstrLocalName.c_str());
    names.Insert(bstrLocalName);
}

// A REG_SZ value read in two steps, size then data, as the traces tell the steps apart. The
// failure of either step leaves the registry's answer in the result.
struct StringValueRead
{
    enum Outcome { Read, NotSized, NotAllocated, NotRead } outcome;
    DWORD dwError = 0;
    DWORD dwType = platform::REG_NONE;
    std::wstring strValue;
};
StringValueRead ReadStringValue(const RegistryKey& key, std::wstring_view valueName, const wchar_t* wszAllocationTrace)
{
    StringValueRead read{StringValueRead::NotSized, 0, platform::REG_NONE, {}};
    DWORD cbData = 0;
    read.dwError = key.QueryValue(valueName, &read.dwType, nullptr, &cbData);
    if (read.dwError != 0 || read.dwType != platform::REG_SZ)
        return read;
    std::vector<std::uint8_t> data;
    try {
        data.resize((cbData / 2 + 1) * 2);
    } catch (const std::bad_alloc&) {
        TRACE_ERROR(TRACE_FAILURE, wszAllocationTrace, static_cast<unsigned>(cbData / 2 + 1));
        read.outcome = StringValueRead::NotAllocated;
        return read;
    }
    auto cbRead = static_cast<DWORD>(data.size());
    read.dwError = key.QueryValue(valueName, &read.dwType, data.data(), &cbRead);
    if (read.dwError != 0 || read.dwType != platform::REG_SZ) {
        read.outcome = StringValueRead::NotRead;
        return read;
    }
    data.resize(cbRead);
    read.strValue = StringFromValue(data);
    read.outcome = StringValueRead::Read;
    return read;
}

// An entry whose collector parameters mark analysis, OLAP or reporting services; nothing is
// known of an entry whose parameters cannot be sized, and it stays.
enum class CollectorVerdict { Keep, Skip };
CollectorVerdict JudgeCollector(const Registry& registry, const std::wstring& strInstanceKey)
{
    RegistryKey cpeKey;
    if (registry.OpenKey(Below(strInstanceKey, L"CPE"), cpeKey) != 0)
        return CollectorVerdict::Keep;
    const StringValueRead parameters =
        ReadStringValue(cpeKey, L"CollectorParameters", L"Failed to allocate CollectorParameters size=%u.");
    if (parameters.outcome == StringValueRead::NotSized || parameters.outcome == StringValueRead::NotRead)
        TRACE_ERROR(TRACE_FAILURE, L"RegQueryValueEx(CollectorParameters) failed %d,%u.",
                    static_cast<int>(parameters.dwError), static_cast<unsigned>(parameters.dwType));
    if (parameters.outcome == StringValueRead::NotSized)
        return CollectorVerdict::Keep;
    if (parameters.outcome != StringValueRead::Read)
        return CollectorVerdict::Skip;
    for (const SkippedCollector& skipped : sc_wszSkippedCollectorPrefixes) {
        if (parameters.strValue.starts_with(skipped.prefix)) {
            TRACE_INFO(TRACE_NORMAL, L"%ls", skipped.wszTrace);
            return CollectorVerdict::Skip;
        }
    }
    return CollectorVerdict::Keep;
}

// One subkey of the SQL Server key: an instance to list, or a key to skip, each skip traced.
void AddInstanceOfSubkey(const Registry& registry, const std::optional<RegistryKey>& instanceNames, DWORD dwIndex,
                         const std::wstring& strSubkey, const std::wstring& bstrLocalName, CServerNameSet& names)
{
    TRACE_INFO(TRACE_FAILURE, L"Enumerating MicrosoftSQLServer key '%ls.'", strSubkey.c_str());
    if (IsListedNoCase(sc_wszExcludedKeys, strSubkey)) {
        TRACE_INFO(TRACE_FAILURE, L"Excluding key '%ls'.", strSubkey.c_str());
        return;
    }
    const std::wstring strInstanceKey = Below(kSqlServerKey, strSubkey);
    RegistryKey instanceKey;
    if (const DWORD dwError = registry.OpenKey(strInstanceKey, instanceKey); dwError != 0) {
        TRACE_ERROR(TRACE_FAILURE, L"RegOpenKeyEx(InstanceName)[%u] failed %d.", static_cast<unsigned>(dwIndex),
                    static_cast<int>(dwError));
        return;
    }
    RegistryKey versionKey;
    if (const DWORD dwError = registry.OpenKey(Below(strInstanceKey, L"MSSQLServer\\CurrentVersion"), versionKey);
        dwError != 0) {
        TRACE_INFO(TRACE_FAILURE, L"RegOpenKeyEx(CurrentVersion)[%u] failed %d.", static_cast<unsigned>(dwIndex),
                   static_cast<int>(dwError));
        return;
    }
    if (IsClustered(registry, strInstanceKey, L"RegOpenKeyEx(Cluster)[%u] failed %d.", dwIndex))
        return;
    if (instanceNames) {
        const StringValueLookup listed = LookUpStringValue(*instanceNames, strSubkey);
        if (listed.bFound)
            return; // listed through its own instance key
        TRACE_WARNING(TRACE_FAILURE, L"RegQueryValueEx(under Instance Name) failed %d,%u.",
                      static_cast<int>(listed.dwError), static_cast<unsigned>(listed.dwType));
    }

    // The default value stores the instance's real name; a key without one is named by the key.
    const StringValueRead stored = ReadStringValue(instanceKey, L"", L"Failed to allocate RealInstanceName size=%u.");
    switch (stored.outcome) {
    case StringValueRead::NotSized:
        TRACE_INFO(TRACE_FAILURE, L"RegQueryValueEx(default value for instance) failed %d,%u.",
                   static_cast<int>(stored.dwError), static_cast<unsigned>(stored.dwType));
        TRACE_INFO(TRACE_NORMAL, L"Adding named instance: %ls\\%ls", bstrLocalName.c_str(), strSubkey.c_str());
        names.Insert(bstrLocalName + L'\\' + strSubkey);
        return;
    case StringValueRead::NotRead:
        TRACE_ERROR(TRACE_FAILURE, L"RegQueryValueEx(default value for instance) failed %d,%u.",
                    static_cast<int>(stored.dwError), static_cast<unsigned>(stored.dwType));
        return;
    case StringValueRead::NotAllocated:
        return;
    case StringValueRead::Read:
        break;
    }
    const std::wstring& strRealInstanceName = stored.strValue;
    if (IsListedNoCase(sc_wszExcludedInstanceNames, strRealInstanceName)) {
        TRACE_INFO(TRACE_FAILURE, L"Excluding instance name '%ls'.", strRealInstanceName.c_str());
        return;
    }
    if (JudgeCollector(registry, strInstanceKey) == CollectorVerdict::Skip)
        return;
    if (UTIL::STR::EqualsNoCase(strRealInstanceName, L"MSSQLSERVER")) {
        TRACE_INFO(TRACE_NORMAL, L"Adding default instance: %ls", bstrLocalName.c_str());
        names.Insert(bstrLocalName);
    } else {
        TRACE_INFO(TRACE_NORMAL, L"Adding named instance: %ls\\%ls", bstrLocalName.c_str(),
                   strRealInstanceName.c_str());
        names.Insert(bstrLocalName + L'\\' + strRealInstanceName);
    }
}

} // namespace

HRESULT AddLocalComputerInstances(const std::wstring& bstrLocalName, CServerNameSet& names)
{
    const Registry registry = Registry::LoadMachine();
    std::optional<RegistryKey> instanceNames;
    if (RegistryKey key; const DWORD dwError = registry.OpenKey(kInstanceNamesKey, key))
        TRACE_INFO(TRACE_FAILURE, L"RegOpenKeyEx(Instance Names) failed %d.", static_cast<int>(dwError));
    else
        instanceNames = key;

    AddOlderDefaultInstance(registry, instanceNames, bstrLocalName, names);

    RegistryKey sqlServerKey;
    if (const DWORD dwError = registry.OpenKey(kSqlServerKey, sqlServerKey); dwError != 0) {
        TRACE_INFO(TRACE_FAILURE, L"RegOpenKeyEx(Microsoft SQL Server) failed %d.", static_cast<int>(dwError));
        return S_OK;
    }
    DWORD cSubKeys = 0;
    DWORD cchMaxSubKeyLen = 0;
    if (const DWORD dwError = sqlServerKey.QueryInfoKey(&cSubKeys, &cchMaxSubKeyLen); dwError != 0) {
        TRACE_ERROR(TRACE_FAILURE, L"RegQueryInfoKey(Microsoft SQL Server) failed %d.", static_cast<int>(dwError));
        return HRESULT_FROM_WIN32(dwError);
    }
    std::vector<wchar_t> szName;
    try {
        szName.resize(cchMaxSubKeyLen + 1);
    } catch (const std::bad_alloc&) {
        TRACE_ERROR(TRACE_FAILURE, L"Failed to allocate instance name size=%u.",
                    static_cast<unsigned>(cchMaxSubKeyLen + 1));
        return E_OUTOFMEMORY;
    }
    for (DWORD dwIndex = 0; dwIndex < cSubKeys; ++dwIndex) {
        auto cchName = static_cast<DWORD>(szName.size());
        if (const DWORD dwError = sqlServerKey.EnumKey(dwIndex, szName.data(), &cchName); dwError != 0) {
            TRACE_ERROR(TRACE_FAILURE, L"RegEnumKeyEx[%u] failed %d.", static_cast<unsigned>(dwIndex),
                        static_cast<int>(dwError));
            continue;
        }
        AddInstanceOfSubkey(registry, instanceNames, dwIndex, std::wstring(szName.data(), cchName), bstrLocalName,
                            names);
    }
    return S_OK;
}

} // namespace Keeplibs
