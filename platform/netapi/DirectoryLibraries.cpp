#include "DirectoryLibraries.h"

namespace platform::netapi {

DirectoryLibraries LoadDirectoryLibraries()
{
    DirectoryLibraries libraries;
    libraries.kerberos =
        LoadCalls<KerberosCalls>({"libkrb5.so.3"}, [](const std::shared_ptr<void>& pLibrary, KerberosCalls& calls) {
            return Find(pLibrary, "krb5_init_context", calls.InitContext) &&
                   Find(pLibrary, "krb5_free_context", calls.FreeContext) &&
                   Find(pLibrary, "krb5_parse_name", calls.ParseName) &&
                   Find(pLibrary, "krb5_free_principal", calls.FreePrincipal) &&
                   Find(pLibrary, "krb5_kt_resolve", calls.KeytabResolve) &&
                   Find(pLibrary, "krb5_kt_default_name", calls.KeytabDefaultName) &&
                   Find(pLibrary, "krb5_kt_close", calls.KeytabClose) &&
                   Find(pLibrary, "krb5_get_init_creds_keytab", calls.GetInitialCredentialsFromKeytab) &&
                   Find(pLibrary, "krb5_free_cred_contents", calls.FreeCredentialContents) &&
                   Find(pLibrary, "krb5_cc_new_unique", calls.CacheNewUnique) &&
                   Find(pLibrary, "krb5_cc_get_full_name", calls.CacheFullName) &&
                   Find(pLibrary, "krb5_free_string", calls.FreeString) &&
                   Find(pLibrary, "krb5_cc_initialize", calls.CacheInitialize) &&
                   Find(pLibrary, "krb5_cc_store_cred", calls.CacheStoreCredentials) &&
                   Find(pLibrary, "krb5_cc_destroy", calls.CacheDestroy) &&
                   Find(pLibrary, "krb5_get_error_message", calls.GetErrorMessage) &&
                   Find(pLibrary, "krb5_free_error_message", calls.FreeErrorMessage);
        });
    libraries.gssapi =
        LoadCalls<GssapiCalls>({"libgssapi_krb5.so.2"}, [](const std::shared_ptr<void>& pLibrary, GssapiCalls& calls) {
            return Find(pLibrary, "gss_krb5_ccache_name", calls.Krb5CcacheName);
        });
    // OpenLDAP 2.5 names its library by its version; 2.6 and later by the plain name.
    libraries.ldap = LoadCalls<LdapCalls>(
        {"libldap-2.5.so.0", "libldap.so.2"}, [](const std::shared_ptr<void>& pLibrary, LdapCalls& calls) {
            return Find(pLibrary, "ldap_initialize", calls.Initialize) &&
                   Find(pLibrary, "ldap_set_option", calls.SetOption) &&
                   Find(pLibrary, "ldap_get_option", calls.GetOption) &&
                   Find(pLibrary, "ldap_sasl_interactive_bind_s", calls.SaslInteractiveBind) &&
                   Find(pLibrary, "ldap_search_ext_s", calls.Search) &&
                   Find(pLibrary, "ldap_first_entry", calls.FirstEntry) &&
                   Find(pLibrary, "ldap_next_entry", calls.NextEntry) && Find(pLibrary, "ldap_get_dn", calls.GetDn) &&
                   Find(pLibrary, "ldap_get_values_len", calls.GetValues) &&
                   Find(pLibrary, "ldap_value_free_len", calls.FreeValues) &&
                   Find(pLibrary, "ldap_memfree", calls.MemFree) && Find(pLibrary, "ldap_msgfree", calls.MessageFree) &&
                   Find(pLibrary, "ldap_unbind_ext_s", calls.Unbind) &&
                   Find(pLibrary, "ldap_err2string", calls.ErrorText);
        });
    return libraries;
}

} // namespace platform::netapi
