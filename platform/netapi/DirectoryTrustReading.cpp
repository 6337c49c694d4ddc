#include "DirectoryTrustReading.h"

#include "CapturedOutput.h"
#include "ComputerTicket.h"
#include "DirectoryError.h"
#include "DirectoryTrusts.h"
#include "common/StringUtils.h"

namespace platform::netapi {
namespace {

std::vector<DS_DOMAIN_TRUSTSW> ReadWithCurrentCredentials(const LdapCalls& ldap, const DirectoryQuery& query)
{
    CDirectorySession session(ldap, query.strController);
    return TrustsFromDirectory(ReadDomainDirectory(session), query.ulFlags);
}

} // namespace

DirectoryReading ReadTrustsFromDirectory(const DirectoryQuery& query)
{
    static const DirectoryLibraries libraries = LoadDirectoryLibraries();
    DirectoryReading reading;
    const std::wstring strController = NarrowToWide(query.strController);
    if (!libraries.kerberos.calls || !libraries.gssapi.calls || !libraries.ldap.calls) {
        reading.notes.push_back(L"The directory of " + strController +
                                L" cannot be read: a library is missing (libkrb5.so.3, libgssapi_krb5.so.2, libldap)");
        return reading;
    }
    const std::wstring strComputer = NarrowToWide(query.strComputerPrincipal);
    std::wstring strWhyNot;
    CCapturedOutput captured;
    try {
        const CComputerTicket ticket(*libraries.kerberos.calls, query.strComputerPrincipal);
        const CScopedGssapiCache scopedCache(*libraries.gssapi.calls, ticket.CacheName());
        reading.trusts = ReadWithCurrentCredentials(*libraries.ldap.calls, query);
        reading.notes.push_back(L"Trusts from the directory of " + strController + L" over LDAP, as " + strComputer);
    } catch (const CDirectoryError& error) {
        strWhyNot = L"as " + strComputer + L": " + NarrowToWide(error.what());
    }
    if (!reading.trusts) {
        try {
            reading.trusts = ReadWithCurrentCredentials(*libraries.ldap.calls, query);
            reading.notes.push_back(L"Trusts from the directory of " + strController +
                                    L" over LDAP, with the caller's Kerberos ticket (" + strWhyNot + L")");
        } catch (const CDirectoryError& error) {
            reading.notes.push_back(L"The directory of " + strController + L" could not be read (" + strWhyNot +
                                    L"; with the caller's Kerberos ticket: " + NarrowToWide(error.what()) + L")");
        }
    }
    NotePrinted(reading.notes, L"libldap", captured.Release());
    return reading;
}

} // namespace platform::netapi
