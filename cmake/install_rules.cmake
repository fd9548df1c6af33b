# What `cmake --install` puts where, in two components that CPack turns into two packages:
#   norvex  the service, the command-line tools, the systemd units and the man pages
#   panel   the Qt panel, its desktop entry and icon (package norvex-panel)
include(GNUInstallDirs)

foreach(program norvexd norvex-group norvex-groupd norvex-relay relay-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT norvex)
  endif()
endforeach()

# norvexd.service and the template norvexd@.service come from one file, so that their
# restrictions cannot drift apart.
set(unit_dir ${PROJECT_BINARY_DIR}/systemd)
set(NORVEXD_CONFIG_DEFAULT /etc/norvex/NorvexPanel.cfg)
set(NORVEXD_CONFIG_INSTANCE /etc/norvex/NAME.cfg)
foreach(variant default instance)
  if(variant STREQUAL "default")
    set(unit norvexd.service)
    set(NORVEXD_DESCRIPTION "Norvex virtual RS-485 network service")
    set(NORVEXD_CONFIG ${NORVEXD_CONFIG_DEFAULT})
    set(NORVEXD_ENV /etc/norvex/norvexd.env)
  else()
    set(unit norvexd@.service)
    set(NORVEXD_DESCRIPTION "Norvex virtual RS-485 network service for /etc/norvex/%i.cfg")
    set(NORVEXD_CONFIG /etc/norvex/%i.cfg)
    set(NORVEXD_ENV /etc/norvex/%i.env)
  endif()
  configure_file(resources/systemd/norvexd.service.in ${unit_dir}/${unit} @ONLY)
endforeach()
configure_file(resources/systemd/norvex-groupd.service.in ${unit_dir}/norvex-groupd.service @ONLY)
configure_file(resources/systemd/norvex-relay@.service.in ${unit_dir}/norvex-relay@.service @ONLY)
install(FILES ${unit_dir}/norvexd.service ${unit_dir}/norvexd@.service
              ${unit_dir}/norvex-groupd.service ${unit_dir}/norvex-relay@.service
        DESTINATION lib/systemd/system COMPONENT norvex)
# norvex-relay's documented configuration, to copy to /etc/norvex/relay-NAME.conf
install(FILES resources/relay.conf.example DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT norvex)

include(cmake/man_pages.cmake)

# Component "panel": the panel's developer adds the target norvex-panel,
# resources/norvex-panel.desktop and resources/norvex-panel.svg; these rules then install them
# and packaging.cmake builds the norvex-panel package.
if(TARGET norvex-panel)
  install(TARGETS norvex-panel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT panel)
  install(FILES resources/norvex-panel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT panel)
  install(FILES resources/norvex-panel.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT panel)
  # found by the panel beside its executable's ../share (panel_translation.cpp)
  if(NORVEX_PANEL_QM_FILES)
    install(FILES ${NORVEX_PANEL_QM_FILES}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/norvex-panel/translations COMPONENT panel)
  endif()
endif()
