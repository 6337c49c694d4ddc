#pragma once
// A network that tests describe: this computer's name and domain, what other computers say of
// themselves, the domain controllers and the trusts each one knows. Every call is logged.

#include "platform/netapi/NetApi.h"

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class CFakeNetApi : public platform::netapi::INetApi
{
public:
    // GetComputerNameExW answers the name (its DNS form for ComputerNameDnsFullyQualified), or
    // fails with dwComputerNameError.
    std::wstring strComputerName = L"VELHOST";
    std::wstring strDnsComputerName = L"velhost";
    DWORD dwComputerNameError = 0;
    // QueryPrimaryDomain; a workgroup member by default.
    platform::netapi::PrimaryDomainInfo primaryDomain{L"WORKGROUP", false};
    DWORD dwPrimaryDomainError = 0;
    // NetWkstaGetInfo101: the domain or workgroup of each computer, by the name asked for without
    // its backslashes ("" for this computer); a computer not listed is not found.
    std::map<std::wstring, std::wstring> workgroups{{L"", L"WORKGROUP"}};
    DWORD dwWorkstationError = 0; // a status for every computer instead
    // DsGetDcNameW: the controller named for each domain; a domain not listed is not found. The
    // answer's domain name is the domain's DNS name where one is listed, else the name asked.
    std::map<std::wstring, std::wstring> controllers;
    std::map<std::wstring, std::wstring> domainDnsNames;
    bool bControllerAnswerMissing = false; // success without an answer
    // DsEnumerateDomainTrustsW: the answer of each server ("" for this computer).
    struct TrustAnswer
    {
        DWORD dwError = 0;
        platform::netapi::DomainTrustArray trusts;
    };
    std::map<std::wstring, TrustAnswer> trustAnswers;
    // TakeNotes hands these out once.
    std::vector<std::wstring> notes;

    // One line per call, with its arguments.
    const std::vector<std::wstring>& Calls() const { return m_calls; }

    DWORD GetComputerNameExW(platform::netapi::COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize) override;
    DWORD QueryPrimaryDomain(platform::netapi::PrimaryDomainInfo& info) override;
    DWORD NetWkstaGetInfo101(const wchar_t* wszServerName, platform::netapi::WKSTA_INFO_101& info) override;
    DWORD DsGetDcNameW(const wchar_t* wszDomainName, platform::netapi::ULONG ulFlags,
                       std::unique_ptr<platform::netapi::DOMAIN_CONTROLLER_INFOW>& pInfo) override;
    DWORD DsEnumerateDomainTrustsW(const wchar_t* wszServerName, platform::netapi::ULONG ulFlags,
                                   platform::netapi::DomainTrustArray& trusts) override;
    std::vector<std::wstring> TakeNotes() override;

private:
    std::vector<std::wstring> m_calls;
};

} // namespace testsupport
