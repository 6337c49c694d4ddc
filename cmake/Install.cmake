# What an administrator installs: the programs, the library with its version, the manual pages,
# keepctl's bash completion, vaultfeed's menu entry and icon, and an example registry file. Programs that serve tests and demos
# (quarwriter, browseresponder, tdsserver), fuzzers and benchmarks are not installed; nor is the
# registry file itself, which belongs to the administrator.

set(VESTREL_PACKAGE_NAME velmora-admin-tools)
# Qt's resource functions include GNUInstallDirs early, leaving the folder empty: not chosen.
if(NOT CMAKE_INSTALL_DOCDIR)
    set(CMAKE_INSTALL_DOCDIR share/doc/${VESTREL_PACKAGE_NAME} CACHE PATH "Documentation folder" FORCE)
endif()
include(GNUInstallDirs)

set_target_properties(keeplib PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# An installed program finds the library in the library folder beside its own.
set_target_properties(keepctl PROPERTIES INSTALL_RPATH "\$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

set(VESTREL_INSTALLED_PROGRAMS keepctl vaultdump vaultfeed realmscan)
install(TARGETS ${VESTREL_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS keeplib LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
install(FILES docs/man/keepctl.1 docs/man/vaultdump.1 docs/man/vaultfeed.1 docs/man/realmscan.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/man/vestrel-registry.5 docs/man/org.vestrel.Velmora.Quarantine1.5
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
# The contract of the product's service that vaultfeed calls, published as a service's is.
install(FILES vaultfeed/bus/org.vestrel.Velmora.Quarantine1.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
install(FILES vaultfeed/bus/org.vestrel.Velmora.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
install(FILES completions/keepctl DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES packaging/vaultfeed.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES vaultfeed/app/art/vaultfeed.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/registry.reg.example packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# What the install and the package need built, and no more: Ninja's cpack builds nothing itself.
add_custom_target(installed_files)
add_dependencies(installed_files ${VESTREL_INSTALLED_PROGRAMS} keeplib)
