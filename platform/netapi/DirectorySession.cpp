#include "DirectorySession.h"

#include "DirectoryError.h"

#include <sasl/sasl.h>

#include <algorithm>
#include <memory>

namespace platform::netapi {
namespace {

// A controller that does not answer in time costs the run this much at each step, no more.
constexpr timeval kTimeout{15, 0};
// A domain holds a few trusts; an answer beyond this is no domain's.
constexpr int kMostEntries = 4096;

// A host name of letters, digits, hyphens and dots: anything else could not be a controller's
// DNS name, and could turn the URI into another.
bool IsHostName(const std::string& strName)
{
    return !strName.empty() && strName.size() <= 255 && std::all_of(strName.begin(), strName.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
}

// GSSAPI asks for nothing but an authorization name, and none is given: the connection acts as
// the account that authenticated.
int AnswerSaslQuestions(LDAP*, unsigned, void*, void* pQuestions)
{
    for (auto* pQuestion = static_cast<sasl_interact_t*>(pQuestions); pQuestion->id != SASL_CB_LIST_END; ++pQuestion) {
        pQuestion->result = "";
        pQuestion->len = 0;
    }
    return LDAP_SUCCESS;
}

// Any pointer other than null turns a boolean option on; libldap's own LDAP_OPT_ON is a symbol
// of another library.
const int kOn = 1;

} // namespace

std::optional<std::string> DirectoryEntry::Value(const std::string& strAttribute) const
{
    const auto found = attributes.find(strAttribute);
    if (found == attributes.end() || found->second.empty())
        return std::nullopt;
    return found->second.front();
}

CDirectorySession::CDirectorySession(const LdapCalls& calls, const std::string& strController)
    : m_calls(calls), m_strUri("ldap://" + strController)
{
    if (!IsHostName(strController))
        throw CDirectoryError("no controller's DNS name: " + strController);
    if (const int iResult = m_calls.Initialize(&m_pLdap, m_strUri.c_str()); iResult != LDAP_SUCCESS)
        throw CDirectoryError(Failure("connect to", iResult));
    try {
        const int iVersion = LDAP_VERSION3;
        m_calls.SetOption(m_pLdap, LDAP_OPT_PROTOCOL_VERSION, &iVersion);
        m_calls.SetOption(m_pLdap, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        m_calls.SetOption(m_pLdap, LDAP_OPT_NETWORK_TIMEOUT, &kTimeout);
        m_calls.SetOption(m_pLdap, LDAP_OPT_TIMEOUT, &kTimeout);
        // Kerberos is asked for ldap/<the name given>: without this, libldap would put the name
        // found by a reverse lookup of the address in its place, which many domains do not have.
        m_calls.SetOption(m_pLdap, LDAP_OPT_X_SASL_NOCANON, &kOn);
        const int iResult = m_calls.SaslInteractiveBind(m_pLdap, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                                        AnswerSaslQuestions, nullptr);
        if (iResult != LDAP_SUCCESS)
            throw CDirectoryError(Failure("SASL GSSAPI bind to", iResult));
    } catch (...) {
        m_calls.Unbind(m_pLdap, nullptr, nullptr);
        throw;
    }
}

CDirectorySession::~CDirectorySession()
{
    m_calls.Unbind(m_pLdap, nullptr, nullptr);
}

std::string CDirectorySession::Failure(const std::string& strWhat, int iResult) const
{
    std::string strText = strWhat + " " + m_strUri + ": " + m_calls.ErrorText(iResult);
    char* szDiagnostic = nullptr;
    if (m_pLdap && m_calls.GetOption(m_pLdap, LDAP_OPT_DIAGNOSTIC_MESSAGE, &szDiagnostic) == LDAP_OPT_SUCCESS &&
        szDiagnostic) {
        if (*szDiagnostic)
            strText += std::string(" (") + szDiagnostic + ")";
        m_calls.MemFree(szDiagnostic);
    }
    return strText;
}

std::vector<DirectoryEntry> CDirectorySession::Search(const std::string& strBase, int iScope,
                                                      const std::string& strFilter,
                                                      const std::vector<std::string>& attributes)
{
    std::vector<char*> attributeNames;
    for (const std::string& strAttribute : attributes)
        attributeNames.push_back(const_cast<char*>(strAttribute.c_str()));
    attributeNames.push_back(nullptr);
    timeval timeout = kTimeout;
    LDAPMessage* pRawResult = nullptr;
    const int iResult = m_calls.Search(m_pLdap, strBase.c_str(), iScope, strFilter.c_str(), attributeNames.data(), 0,
                                       nullptr, nullptr, &timeout, kMostEntries, &pRawResult);
    const auto freeResult = [this](LDAPMessage* p) { m_calls.MessageFree(p); };
    const std::unique_ptr<LDAPMessage, decltype(freeResult)> pResult(pRawResult, freeResult);
    if (iResult != LDAP_SUCCESS)
        throw CDirectoryError(Failure("search of " + strBase + " at", iResult));

    std::vector<DirectoryEntry> entries;
    for (LDAPMessage* pEntry = m_calls.FirstEntry(m_pLdap, pResult.get()); pEntry;
         pEntry = m_calls.NextEntry(m_pLdap, pEntry)) {
        DirectoryEntry& entry = entries.emplace_back();
        if (char* szDn = m_calls.GetDn(m_pLdap, pEntry)) {
            entry.strDn = szDn;
            m_calls.MemFree(szDn);
        }
        for (const std::string& strAttribute : attributes) {
            berval** ppValues = m_calls.GetValues(m_pLdap, pEntry, strAttribute.c_str());
            if (!ppValues)
                continue;
            std::vector<std::string>& values = entry.attributes[strAttribute];
            for (berval** ppValue = ppValues; *ppValue; ++ppValue)
                values.emplace_back((*ppValue)->bv_val, (*ppValue)->bv_len);
            m_calls.FreeValues(ppValues);
        }
    }
    return entries;
}

} // namespace platform::netapi
