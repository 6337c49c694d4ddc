#include "TrustListing.h"

#include "common/ComError.h"
#include "common/ErrorLadder.h"
#include "common/StringUtils.h"
#include "platform/ComApartment.h"
#include "platform/DebugOutput.h"
#include "platform/Win32Error.h"

#include <array>
#include <cerrno>
#include <utility>

namespace Realmscan {
namespace {

using namespace platform::netapi;

// A line that cannot be written (a full disk, a closed stream) fails the listing: a listing that
// did not reach its reader is no complete one.
void WriteLine(std::FILE* pStream, std::wstring_view line)
{
    const std::string strBytes = WideToNarrow(line) + "\n";
    if (std::fwrite(strBytes.data(), 1, strBytes.size(), pStream) != strBytes.size() || std::fflush(pStream) != 0)
        throw UTIL::COM::_com_error(platform::HResultFromErrno(errno));
}

std::wstring Number(ULONG ulValue)
{
    return std::to_wstring(ulValue);
}

void WriteTrust(std::FILE* pOut, ULONG ulIndex, const DS_DOMAIN_TRUSTSW& trust)
{
    WriteLine(pOut, L"Index: " + Number(ulIndex));
    // Names come from the domain controller: one holding a control character must neither start a
    // line of its own nor reach a terminal as a command.
    WriteLine(pOut, L"Net BIOS domain name: " + EscapeControlCharacters(trust.NetbiosDomainName.value_or(L"")));
    WriteLine(pOut, L"DNS domain name: " + EscapeControlCharacters(trust.DnsDomainName.value_or(L"")));
    WriteLine(pOut, L"Flags: " + TrustFlagsText(trust.Flags));
    WriteLine(pOut, L"ParentIndex: " + Number(trust.ParentIndex));
    WriteLine(pOut, L"Trust type: " + TrustTypeText(trust.TrustType));
    WriteLine(pOut, L"Trust attributes: " + TrustAttributesText(trust.TrustAttributes));
    WriteLine(pOut, L"-----");
}

// Steps that fail throw: their failure is reported by the one ladder at the end.
void ListTrusts(std::FILE* pOut, std::FILE* pErr)
{
    const platform::CComApartment apartment(platform::COINIT_MULTITHREADED, true);
    DomainTrustArray trusts;
    const DWORD dwError = CurrentNetApi().DsEnumerateDomainTrustsW(nullptr, DS_DOMAIN_VALID_FLAGS, trusts);
    // Where the answer came from is told to whoever watches the program: it keeps no trace log.
    for (const std::wstring& strNote : CurrentNetApi().TakeNotes())
        platform::OutputDebugStringA("realmscan: " + WideToNarrow(strNote));
    if (dwError != 0) {
        WriteLine(pErr, EnumerationErrorText(dwError));
        throw UTIL::COM::_com_error(E_FAIL);
    }
    if (trusts.Count() != 0 && trusts.Entries() == nullptr)
        throw UTIL::COM::_com_error(E_FAIL);
    for (ULONG ulIndex = 0; ulIndex < trusts.Count(); ++ulIndex)
        WriteTrust(pOut, ulIndex, trusts.Entries()[ulIndex]);
}

} // namespace

std::wstring TrustFlagsText(ULONG ulFlags)
{
    constexpr std::array<std::pair<ULONG, const wchar_t*>, 6> kFlagNames{{
        {DS_DOMAIN_IN_FOREST, L"DS_DOMAIN_IN_FOREST "},
        {DS_DOMAIN_DIRECT_OUTBOUND, L"DS_DOMAIN_DIRECT_OUTBOUND "},
        {DS_DOMAIN_TREE_ROOT, L"DS_DOMAIN_TREE_ROOT "},
        {DS_DOMAIN_PRIMARY, L"DS_DOMAIN_PRIMARY "},
        {DS_DOMAIN_NATIVE_MODE, L"DS_DOMAIN_NATIVE_MODE "},
        {DS_DOMAIN_DIRECT_INBOUND, L"DS_DOMAIN_DIRECT_INBOUND "},
    }};
    std::wstring strText;
    for (const auto& [ulFlag, wszName] : kFlagNames) {
        if (ulFlags & ulFlag)
            strText += wszName;
    }
    if (const ULONG ulUnknown = ulFlags & ~DS_DOMAIN_VALID_FLAGS; ulUnknown != 0)
        strText += L"<unknown:" + Number(ulUnknown) + L">";
    return strText;
}

std::wstring TrustTypeText(ULONG ulTrustType)
{
    switch (ulTrustType) {
    case TRUST_TYPE_DOWNLEVEL:
        return L"TRUST_TYPE_DOWNLEVEL";
    case TRUST_TYPE_UPLEVEL:
        return L"TRUST_TYPE_UPLEVEL";
    case TRUST_TYPE_MIT:
        return L"TRUST_TYPE_MIT";
    default:
        break;
    }
    if (ulTrustType >= 5 && ulTrustType <= 0x000FFFFF)
        return L"Reserved for future use (" + Number(ulTrustType) + L")";
    if (ulTrustType >= 0x00100000 && ulTrustType <= 0xFFF00000)
        return L"Provider-specific trust levels (" + Number(ulTrustType) + L")";
    return L"Unknown (" + Number(ulTrustType) + L")";
}

std::wstring TrustAttributesText(ULONG ulTrustAttributes)
{
    // Named only as a whole value: a combination of attributes is unknown.
    switch (ulTrustAttributes) {
    case 0x1:
        return L"TRUST_ATTRIBUTE_NON_TRANSITIVE";
    case 0x2:
        return L"TRUST_ATTRIBUTE_UPLEVEL_ONLY";
    case 0x8:
        return L"TRUST_ATTRIBUTE_FOREST_TRANSITIVE";
    case 0x10:
        return L"TRUST_ATTRIBUTE_CROSS_ORGANIZATION";
    case 0x20:
        return L"TRUST_ATTRIBUTE_WITHIN_FOREST";
    default:
        return L"Unknown (" + Number(ulTrustAttributes) + L")";
    }
}

std::wstring EnumerationErrorText(DWORD dwError)
{
    switch (dwError) {
    case platform::ERROR_NOT_SUPPORTED:
        return L"ERROR_NOT_SUPPORTED";
    case ERROR_INVALID_FLAGS:
        return L"ERROR_INVALID_FLAGS";
    case ERROR_NO_LOGON_SERVERS:
        return L"ERROR_NO_LOGON_SERVERS";
    case ERROR_NO_TRUST_LSA_SECRET:
        return L"ERROR_NO_TRUST_LSA_SECRET";
    case ERROR_NO_TRUST_SAM_ACCOUNT:
        return L"ERROR_NO_TRUST_SAM_ACCOUNT";
    default:
        return L"Unknown error: " + Number(dwError);
    }
}

int ListDomainTrusts(std::FILE* pOut, std::FILE* pErr) noexcept
{
    HRESULT hr = S_OK;
    try {
        WriteLine(pOut, L"Starting...");
        ListTrusts(pOut, pErr);
        WriteLine(pOut, L"...done.");
        return 0;
    } catch (...) {
        hr = UTIL::ERR::ClassifyCurrentException().hr;
    }
    try {
        WriteLine(pErr, FormatW(L"Error: 0x%08X", HResultBits(hr)));
    } catch (...) { // nothing more can be said
    }
    return 1;
}

} // namespace Realmscan
