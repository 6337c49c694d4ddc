#pragma once
// The calls of the Kerberos, GSSAPI and LDAP libraries that reading a domain's directory takes,
// found at run time like Samba's: a computer without them still runs the programs, and is told
// its trusts by winbind.

#include "LoadedLibrary.h"

#include <gssapi/gssapi_krb5.h>
#include <krb5.h>
#include <ldap.h>

namespace platform::netapi {

// libkrb5: the computer's own keys from a keytab, turned into a ticket in a private cache.
struct KerberosCalls
{
    decltype(&::krb5_init_context) InitContext;
    decltype(&::krb5_free_context) FreeContext;
    decltype(&::krb5_parse_name) ParseName;
    decltype(&::krb5_free_principal) FreePrincipal;
    decltype(&::krb5_kt_resolve) KeytabResolve;
    decltype(&::krb5_kt_default_name) KeytabDefaultName;
    decltype(&::krb5_kt_close) KeytabClose;
    decltype(&::krb5_get_init_creds_keytab) GetInitialCredentialsFromKeytab;
    decltype(&::krb5_free_cred_contents) FreeCredentialContents;
    decltype(&::krb5_cc_new_unique) CacheNewUnique;
    decltype(&::krb5_cc_get_full_name) CacheFullName;
    decltype(&::krb5_free_string) FreeString;
    decltype(&::krb5_cc_initialize) CacheInitialize;
    decltype(&::krb5_cc_store_cred) CacheStoreCredentials;
    decltype(&::krb5_cc_destroy) CacheDestroy;
    decltype(&::krb5_get_error_message) GetErrorMessage;
    decltype(&::krb5_free_error_message) FreeErrorMessage;
};

// libgssapi_krb5: which credentials cache GSSAPI takes its ticket from, on this thread.
struct GssapiCalls
{
    decltype(&::gss_krb5_ccache_name) Krb5CcacheName;
};

// libldap: one connection, bound with SASL GSSAPI, and its searches.
struct LdapCalls
{
    decltype(&::ldap_initialize) Initialize;
    decltype(&::ldap_set_option) SetOption;
    decltype(&::ldap_get_option) GetOption;
    decltype(&::ldap_sasl_interactive_bind_s) SaslInteractiveBind;
    decltype(&::ldap_search_ext_s) Search;
    decltype(&::ldap_first_entry) FirstEntry;
    decltype(&::ldap_next_entry) NextEntry;
    decltype(&::ldap_get_dn) GetDn;
    decltype(&::ldap_get_values_len) GetValues;
    decltype(&::ldap_value_free_len) FreeValues;
    decltype(&::ldap_memfree) MemFree;
    decltype(&::ldap_msgfree) MessageFree;
    decltype(&::ldap_unbind_ext_s) Unbind;
    decltype(&::ldap_err2string) ErrorText;
};

// The three tables, each absent when its library or a call of it is missing.
struct DirectoryLibraries
{
    LoadedCalls<KerberosCalls> kerberos;
    LoadedCalls<GssapiCalls> gssapi;
    LoadedCalls<LdapCalls> ldap;
};

DirectoryLibraries LoadDirectoryLibraries();

} // namespace platform::netapi
