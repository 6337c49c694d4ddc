# The Debian package of the installed tools (scripts/package.sh builds it). Its dependencies are
# found from the programs and the library by dpkg-shlibdeps; the FreeTDS driver is recommended
# (another SQL Server driver will do), Samba's client libraries and SASL's Kerberos plugin only
# suggested: without Samba the computer is a workgroup member, and without the plugin a domain's
# trusts are winbind's list.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VESTREL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora administration tools team <velmora-tools@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "administration tools of the Velmora mail-scanning product")
set(CPACK_PACKAGE_DESCRIPTION "keepctl creates, upgrades, backs up, restores and drops the four databases of the
Velmora product on Microsoft SQL Server, grants the product's service access, and finds and
checks SQL Server instances, through the library libkeeplib. vaultdump extracts the stored items
of a folder of quarantine files; vaultfeed imports them into the product through its service, as
a wizard, a progress dialog or in the terminal; realmscan lists the trusts of the computer's
domain.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The library is the package's own: dpkg-shlibdeps finds it there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "samba-libs, winbind, libsasl2-modules-gssapi-mit, pacemaker-cli-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
