# Man pages made from each program's --help by help2man, with the sections --help does not
# carry (files, units, see also) from resources/man/PROGRAM.h2m.  Without help2man there are
# none, and the package test notices.
find_program(NORVEX_HELP2MAN help2man)

# norvex_man_page(TARGET SUMMARY): TARGET.1.gz, built with everything else and installed.
function(norvex_man_page target summary)
  if(NOT NORVEX_HELP2MAN OR NOT TARGET ${target})
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  set(extra ${PROJECT_SOURCE_DIR}/resources/man/${target}.h2m)
  set(extra_dep)
  if(EXISTS ${extra})
    set(extra_dep ${extra})
  endif()
  # help2man does not make the folder, and only some generators make it for an OUTPUT
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${NORVEX_HELP2MAN} --no-info --section=1 --name=${summary}
            --version-string=${PROJECT_VERSION} --opt-include=${extra} --output=${page}
            $<TARGET_FILE:${target}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${target} ${extra_dep}
    COMMENT "Man page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT norvex)
endfunction()

if(NOT NORVEX_HELP2MAN)
  message(STATUS "help2man not found: no man pages")
endif()
norvex_man_page(norvexd "relay a serial port to an RS-485 device group over MQTT")
norvex_man_page(norvex-group "add a device group to a norvexd configuration")
norvex_man_page(norvex-groupd "group web service for norvexd and its relays")
norvex_man_page(norvex-relay "the relay end of a Norvex device group on a serial line")
norvex_man_page(relay-sim "simulated relay devices of a Norvex group")
