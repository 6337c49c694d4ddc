#pragma once
// The computer's own Kerberos ticket, got with its keys from a keytab into a credentials cache in
// this process's memory: no file holds it, no other process sees it, and it goes with the object.
// GSSAPI takes it on the threads that name its cache (CScopedGssapiCache).

#include "DirectoryLibraries.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::netapi {

// Where a computer keeps its keys: the system keytab of a member (Kerberos' default), and the
// one a Samba domain controller keeps beside its database.
inline constexpr const char* kSambaControllerKeytab = "FILE:/var/lib/samba/private/secrets.keytab";

class CComputerTicket
{
public:
    // Asks the domain's KDC for a ticket of the principal ("NAME$@REALM") with the keys of the
    // first keytab that holds them: the default one, then the controller's. Throws CDirectoryError
    // saying why each failed.
    CComputerTicket(const KerberosCalls& calls, const std::string& strPrincipal);
    ~CComputerTicket();
    CComputerTicket(const CComputerTicket&) = delete;
    CComputerTicket& operator=(const CComputerTicket&) = delete;

    // "MEMORY:..."
    const std::string& CacheName() const { return m_strCacheName; }

private:
    std::string ErrorText(krb5_error_code code) const;

    const KerberosCalls& m_calls;
    krb5_context m_pContext = nullptr;
    krb5_ccache m_pCache = nullptr;
    std::string m_strCacheName;
};

// GSSAPI takes its Kerberos credentials from the named cache on this thread while the object
// lives, and from where it took them before afterwards. No environment variable changes: other
// threads, and the caller's own Kerberos work, are not touched.
class CScopedGssapiCache
{
public:
    CScopedGssapiCache(const GssapiCalls& calls, const std::string& strCacheName);
    ~CScopedGssapiCache();
    CScopedGssapiCache(const CScopedGssapiCache&) = delete;
    CScopedGssapiCache& operator=(const CScopedGssapiCache&) = delete;

private:
    const GssapiCalls& m_calls;
    std::optional<std::string> m_previous;
};

} // namespace platform::netapi
