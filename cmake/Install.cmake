# What `cmake --install` puts on a Linux machine. Two components: "console", the headless
# program with its systemd unit, manual page and the template of ADMINBD.inf; "window", the Qt
# window with its desktop entry, polkit policy and manual page.
#
# The configuration folder (VELTOR_CONFIG_DIR) is where the unit runs the headless program and
# the desktop entry starts the window: <sysconfdir>/veltor-backups, /etc/veltor-backups for
# the prefix /usr of the packages.
include(GNUInstallDirs)

set(VELTOR_CONFIG_DIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/veltor-backups" CACHE PATH
    "Folder of ADMINBD.inf on an installed machine")
set(VELTOR_SYSTEMD_UNIT_DIR "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" CACHE PATH
    "Folder of the systemd unit")

set(packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
set(generated ${PROJECT_BINARY_DIR}/packaging)
foreach(file veltor-backups.service veltor-backups.desktop org.veltor.backups.policy veltor-backups-console.1
             veltor-backups.1)
  configure_file(${packaging}/${file}.in ${generated}/${file} @ONLY)
endforeach()

# The manual pages as Debian keeps them.
find_program(GZIP gzip REQUIRED)
foreach(page veltor-backups-console.1 veltor-backups.1)
  add_custom_command(OUTPUT ${generated}/${page}.gz
    COMMAND ${GZIP} -9 -n -c ${generated}/${page} > ${generated}/${page}.gz
    DEPENDS ${generated}/${page} VERBATIM)
endforeach()
add_custom_target(veltor_manual_pages ALL
  DEPENDS ${generated}/veltor-backups-console.1.gz ${generated}/veltor-backups.1.gz)

install(TARGETS veltor-backups-console RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
install(FILES ${generated}/veltor-backups.service DESTINATION ${VELTOR_SYSTEMD_UNIT_DIR} COMPONENT console)
install(FILES ${generated}/veltor-backups-console.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
install(FILES ${packaging}/ADMINBD.cop DESTINATION ${VELTOR_CONFIG_DIR} COMPONENT console)

if(TARGET veltor-backups)
  install(TARGETS veltor-backups RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  install(FILES ${generated}/veltor-backups.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT window)
  install(FILES ${generated}/org.veltor.backups.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions
          COMPONENT window)
  install(FILES ${generated}/veltor-backups.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
endif()
