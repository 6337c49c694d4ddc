#pragma once
// realmscan's work: every trust that the computer's domain reports, one block of lines per trust,
// on standard output; failures on standard error.

#include "platform/netapi/NetApi.h"

#include <cstdio>
#include <string>

namespace Realmscan {

// The texts of a trust's fields.
std::wstring TrustFlagsText(platform::netapi::ULONG ulFlags);
std::wstring TrustTypeText(platform::netapi::ULONG ulTrustType);
std::wstring TrustAttributesText(platform::netapi::ULONG ulTrustAttributes);
// The name of a failure of the trust enumeration.
std::wstring EnumerationErrorText(DWORD dwError);

// Lists the trusts of this computer's domain through the process's network answers, writing
// UTF-8 lines, each flushed as it is written. Returns the exit status: 0 after a complete
// listing, 1 after any failure, which ends with "Error: 0x" and its HRESULT.
int ListDomainTrusts(std::FILE* pOut, std::FILE* pErr) noexcept;

} // namespace Realmscan
