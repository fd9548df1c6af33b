# Debian packages with CPack, one per install component: norvex and (once the panel target
# exists) norvex-panel.  scripts/package.sh builds them.  Dependencies come from
# dpkg-shlibdeps, so the binaries' libraries decide them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Norvex developers <packages@norvex.invalid>")
# the units name the binaries by their installed path, so the package keeps the same prefix
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL norvex)
if(TARGET norvex-panel)
  list(APPEND CPACK_COMPONENTS_ALL panel)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # name_version_arch.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)

set(CPACK_DEBIAN_NORVEX_PACKAGE_NAME norvex)
set(CPACK_COMPONENT_NORVEX_DESCRIPTION "virtual RS-485 network service
norvexd holds one end of a serial port or a virtual serial-port pair open
and makes it a member of a device group on an MQTT broker: what the
application writes goes to the group's cellular relays, and what they send
comes back out of the port in order.  Also norvex-group (adds groups to the
configuration), norvex-groupd (a group web service), norvex-relay (the
relay end for a Linux computer with a serial line) and relay-sim
(simulated relays), with systemd units for the services.")
set(dir ${PROJECT_SOURCE_DIR}/resources/debian)
set(CPACK_DEBIAN_NORVEX_PACKAGE_CONTROL_EXTRA ${dir}/postinst ${dir}/prerm ${dir}/postrm)

set(CPACK_DEBIAN_PANEL_PACKAGE_NAME norvex-panel)
set(CPACK_DEBIAN_PANEL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_PANEL_DESCRIPTION "virtual RS-485 network control panel
The desktop panel of the Norvex virtual RS-485 network: chooses the serial
ports and the device group, starts and stops the relay service and shows
the relays' status.")

include(CPack)
