#pragma once
// The computer's place in a Windows network, as the name, security-authority, network-management
// and directory-service calls answer it: this computer's NetBIOS name, whether it is a domain
// member, the domain or workgroup of a computer, a domain controller of a domain, and the trusts
// a domain controller knows. Calls answer Win32 codes as those functions do.
//
// The process's answers come from Samba's client libraries and the domain's directory when the
// computer has them, loaded at run time, and otherwise describe a workgroup member; tests put a
// fake in their place. What an answer rested on is told in notes, for the caller's trace.

#include "common/HResult.h"
#include "platform/ProcessWide.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::netapi {

using ULONG = std::uint32_t;

// The names GetComputerNameExW gives: the NetBIOS name, and the host name with the DNS domain
// of the computer's domain ("sql01.corp.example.com"; the host name alone outside a domain).
enum COMPUTER_NAME_FORMAT { ComputerNameNetBIOS = 0, ComputerNameDnsFullyQualified = 3 };

// The NetBIOS name's longest form, without its terminator.
constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// Flags of a trust, and of the trusts asked for.
constexpr ULONG DS_DOMAIN_IN_FOREST = 0x1;
constexpr ULONG DS_DOMAIN_DIRECT_OUTBOUND = 0x2;
constexpr ULONG DS_DOMAIN_TREE_ROOT = 0x4;
constexpr ULONG DS_DOMAIN_PRIMARY = 0x8;
constexpr ULONG DS_DOMAIN_NATIVE_MODE = 0x10;
constexpr ULONG DS_DOMAIN_DIRECT_INBOUND = 0x20;
constexpr ULONG DS_DOMAIN_VALID_FLAGS = 0x3F;

// The kind of a trust.
constexpr ULONG TRUST_TYPE_DOWNLEVEL = 1; // a Windows NT 4 domain
constexpr ULONG TRUST_TYPE_UPLEVEL = 2;   // an Active Directory domain
constexpr ULONG TRUST_TYPE_MIT = 3;       // a Kerberos realm

// Attributes of a trust.
constexpr ULONG TRUST_ATTRIBUTE_NON_TRANSITIVE = 0x1;
constexpr ULONG TRUST_ATTRIBUTE_FOREST_TRANSITIVE = 0x8;
constexpr ULONG TRUST_ATTRIBUTE_WITHIN_FOREST = 0x20;

// A domain controller's requirement: one that runs a directory service.
constexpr ULONG DS_DIRECTORY_SERVICE_REQUIRED = 0x10;

// The Win32 codes these calls answer besides those of platform/Win32Error.h.
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_LOGON_SERVERS = 1311;
constexpr DWORD ERROR_NO_SUCH_DOMAIN = 1355;
constexpr DWORD ERROR_NO_TRUST_LSA_SECRET = 1786;
constexpr DWORD ERROR_NO_TRUST_SAM_ACCOUNT = 1787;

// What LsaQueryInformationPolicy answers for the primary domain.
struct PrimaryDomainInfo
{
    std::wstring strName; // the domain, or the workgroup
    bool bHasSid = false; // a domain member's primary domain has a SID; a workgroup has none
};

// What NetWkstaGetInfo answers at level 101, as far as the system reads it.
struct WKSTA_INFO_101
{
    std::wstring wki101_computername;
    std::wstring wki101_langroup; // the domain or workgroup the computer belongs to
};

// What DsGetDcNameW answers.
struct DOMAIN_CONTROLLER_INFOW
{
    std::wstring DomainControllerName; // "\\" and the controller's name
    std::wstring DomainName;           // the domain's DNS name when it has one
};

// One trust, as DsEnumerateDomainTrustsW answers it; a name may be absent.
struct DS_DOMAIN_TRUSTSW
{
    std::optional<std::wstring> NetbiosDomainName;
    std::optional<std::wstring> DnsDomainName;
    ULONG Flags = 0;
    ULONG ParentIndex = 0;
    ULONG TrustType = 0;
    ULONG TrustAttributes = 0;
};

// The array DsEnumerateDomainTrustsW answers with its count. A caller must not trust the two to
// agree: a broken answer can give a count without an array, which Entries() shows as null.
class DomainTrustArray
{
public:
    DomainTrustArray() = default;
    explicit DomainTrustArray(std::vector<DS_DOMAIN_TRUSTSW> trusts);
    static DomainTrustArray CountWithoutArray(ULONG ulCount);

    const DS_DOMAIN_TRUSTSW* Entries() const { return m_bHasArray ? m_trusts.data() : nullptr; }
    ULONG Count() const { return m_ulCount; }

private:
    std::vector<DS_DOMAIN_TRUSTSW> m_trusts;
    ULONG m_ulCount = 0;
    bool m_bHasArray = true;
};

class INetApi
{
public:
    virtual ~INetApi() = default;

    // GetComputerNameExW: *pnSize is the buffer's size in characters. On success the name and its
    // terminator are written and *pnSize holds the name's length; ERROR_MORE_DATA sets it to the
    // size needed, terminator included.
    virtual DWORD GetComputerNameExW(COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize) = 0;
    // LsaQueryInformationPolicy for the primary domain, its status already a Win32 code.
    virtual DWORD QueryPrimaryDomain(PrimaryDomainInfo& info) = 0;
    // NetWkstaGetInfo at level 101 of the computer named "\\name", or of this one (null).
    virtual DWORD NetWkstaGetInfo101(const wchar_t* wszServerName, WKSTA_INFO_101& info) = 0;
    // DsGetDcNameW for a domain, asked from this computer. Success may come without an answer.
    virtual DWORD DsGetDcNameW(const wchar_t* wszDomainName, ULONG ulFlags,
                               std::unique_ptr<DOMAIN_CONTROLLER_INFOW>& pInfo) = 0;
    // DsEnumerateDomainTrustsW of a domain controller ("\\name"), or of this computer (null or
    // empty): the trusts that have any of the flags asked for.
    virtual DWORD DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts) = 0;

    // What the calls since the last time rested on, in words: which source answered, why a
    // better one did not, what a library printed instead of writing on the program's output.
    // Taking them empties the list.
    virtual std::vector<std::wstring> TakeNotes() = 0;
};

// The answers of this process: Samba's, or a workgroup member's, unless a test put its own in
// place.
INetApi& CurrentNetApi();

// Puts an implementation in place for the life of the guard.
class CScopedNetApi : public CScopedInPlace<INetApi>
{
public:
    explicit CScopedNetApi(std::shared_ptr<INetApi> pNetApi);
};

} // namespace platform::netapi
