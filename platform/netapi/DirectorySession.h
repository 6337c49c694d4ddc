#pragma once
// A connection to a domain controller's directory (LDAP), authenticated with Kerberos through SASL
// GSSAPI, and the searches made over it.

#include "DirectoryLibraries.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::netapi {

// One entry a search found: its distinguished name and the values of the attributes asked for.
struct DirectoryEntry
{
    std::string strDn;
    std::map<std::string, std::vector<std::string>> attributes; // by the name as it was asked for

    // The attribute's first value; nothing when it has none.
    std::optional<std::string> Value(const std::string& strAttribute) const;
};

class CDirectorySession
{
public:
    // Connects to the LDAP service of the controller, named by its DNS name (Kerberos knows the
    // service by that name only), and binds with SASL GSSAPI: Kerberos with the credentials GSSAPI
    // takes on this thread, signed and sealed. Throws CDirectoryError.
    CDirectorySession(const LdapCalls& calls, const std::string& strController);
    ~CDirectorySession();
    CDirectorySession(const CDirectorySession&) = delete;
    CDirectorySession& operator=(const CDirectorySession&) = delete;

    // The entries below the base in the scope (LDAP_SCOPE_BASE or LDAP_SCOPE_ONELEVEL) that the
    // filter takes, with the attributes asked for. Throws CDirectoryError.
    std::vector<DirectoryEntry> Search(const std::string& strBase, int iScope, const std::string& strFilter,
                                       const std::vector<std::string>& attributes);

private:
    std::string Failure(const std::string& strWhat, int iResult) const;

    const LdapCalls& m_calls;
    std::string m_strUri;
    LDAP* m_pLdap = nullptr;
};

} // namespace platform::netapi
