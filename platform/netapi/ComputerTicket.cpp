#include "ComputerTicket.h"

#include "DirectoryError.h"

#include <array>

namespace platform::netapi {

CComputerTicket::CComputerTicket(const KerberosCalls& calls, const std::string& strPrincipal) : m_calls(calls)
{
    if (m_calls.InitContext(&m_pContext) != 0) {
        m_pContext = nullptr;
        throw CDirectoryError("Kerberos cannot start");
    }
    try {
        krb5_principal pRawPrincipal = nullptr;
        if (const krb5_error_code code = m_calls.ParseName(m_pContext, strPrincipal.c_str(), &pRawPrincipal))
            throw CDirectoryError(strPrincipal + ": " + ErrorText(code));
        const auto freePrincipal = [this](krb5_principal p) { m_calls.FreePrincipal(m_pContext, p); };
        const std::unique_ptr<krb5_principal_data, decltype(freePrincipal)> pPrincipal(pRawPrincipal, freePrincipal);

        std::array<char, 1024> szDefaultKeytab{};
        m_calls.KeytabDefaultName(m_pContext, szDefaultKeytab.data(), static_cast<int>(szDefaultKeytab.size()));
        std::string strWhyNot;
        for (const std::string& strKeytab :
             {std::string(szDefaultKeytab.data()), std::string(kSambaControllerKeytab)}) {
            krb5_keytab pKeytab = nullptr;
            krb5_error_code code = m_calls.KeytabResolve(m_pContext, strKeytab.c_str(), &pKeytab);
            krb5_creds credentials{};
            if (code == 0) {
                code = m_calls.GetInitialCredentialsFromKeytab(m_pContext, &credentials, pPrincipal.get(), pKeytab, 0,
                                                               nullptr, nullptr);
                m_calls.KeytabClose(m_pContext, pKeytab);
            }
            if (code != 0) {
                strWhyNot += (strWhyNot.empty() ? "" : "; ") + strKeytab + ": " + ErrorText(code);
                continue;
            }
            code = m_calls.CacheNewUnique(m_pContext, "MEMORY", nullptr, &m_pCache);
            if (code == 0)
                code = m_calls.CacheInitialize(m_pContext, m_pCache, pPrincipal.get());
            if (code == 0)
                code = m_calls.CacheStoreCredentials(m_pContext, m_pCache, &credentials);
            m_calls.FreeCredentialContents(m_pContext, &credentials);
            char* szName = nullptr;
            if (code == 0)
                code = m_calls.CacheFullName(m_pContext, m_pCache, &szName);
            if (code != 0)
                throw CDirectoryError("no cache in memory for the ticket: " + ErrorText(code));
            m_strCacheName = szName;
            m_calls.FreeString(m_pContext, szName);
            return;
        }
        throw CDirectoryError("no ticket for " + strPrincipal + " (" + strWhyNot + ")");
    } catch (...) {
        if (m_pCache)
            m_calls.CacheDestroy(m_pContext, m_pCache);
        m_calls.FreeContext(m_pContext);
        throw;
    }
}

CComputerTicket::~CComputerTicket()
{
    m_calls.CacheDestroy(m_pContext, m_pCache);
    m_calls.FreeContext(m_pContext);
}

std::string CComputerTicket::ErrorText(krb5_error_code code) const
{
    const char* szMessage = m_calls.GetErrorMessage(m_pContext, code);
    if (!szMessage)
        return "error " + std::to_string(code);
    std::string strMessage = szMessage;
    m_calls.FreeErrorMessage(m_pContext, szMessage);
    return strMessage;
}

CScopedGssapiCache::CScopedGssapiCache(const GssapiCalls& calls, const std::string& strCacheName) : m_calls(calls)
{
    OM_uint32 uMinor = 0;
    const char* szPrevious = nullptr;
    m_calls.Krb5CcacheName(&uMinor, strCacheName.c_str(), &szPrevious);
    // GSSAPI keeps the previous name only until the next call: it is copied at once.
    if (szPrevious)
        m_previous = szPrevious;
}

CScopedGssapiCache::~CScopedGssapiCache()
{
    OM_uint32 uMinor = 0;
    m_calls.Krb5CcacheName(&uMinor, m_previous ? m_previous->c_str() : nullptr, nullptr);
}

} // namespace platform::netapi
