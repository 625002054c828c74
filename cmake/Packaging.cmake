# Debian packages of the Linux programs, made by CPack from the install components (the
# first line of each description is its summary):
#   veltor-backups-console  the headless program and its systemd unit, no Qt
#   veltor-backups          the window, which depends on the headless package
# Library dependencies (libfbclient2, the Qt 6 libraries, the C++ run-time) are found by
# dpkg-shlibdeps from the executables. scripts/package builds them.
set(VELTOR_PACKAGE_OUTPUT_DIR ${PROJECT_BINARY_DIR}/packages CACHE PATH "Folder the packages are written to")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltor-backups)
set(CPACK_PACKAGE_VENDOR "Veltor")
set(CPACK_PACKAGE_CONTACT "Veltor Backups <backups@veltor.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_OUTPUT_FILE_PREFIX ${VELTOR_PACKAGE_OUTPUT_DIR})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console)
if(TARGET veltor-backups)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME veltor-backups-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS "pkexec")
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "Scheduled backups of the Veltor company databases, without a screen
The headless program runs the backup timer of the installation: it backs up
the due company databases of the Firebird server and runs their
backup-restore cycle. The systemd unit veltor-backups.service runs it as root
in ${VELTOR_CONFIG_DIR}.")
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/conffiles.in ${PROJECT_BINARY_DIR}/packaging/conffiles @ONLY)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/packaging/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/linux/console-scripts/postinst
    ${PROJECT_SOURCE_DIR}/packaging/linux/console-scripts/prerm
    ${PROJECT_SOURCE_DIR}/packaging/linux/console-scripts/postrm)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME veltor-backups)
# The window relaunches itself through pkexec.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "pkexec")
set(CPACK_COMPONENT_WINDOW_DEPENDS console)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "Activity window of the Veltor company database backups
The window shows the backup folder and the activity of the scheduled backups,
and starts a backup and backup-restore cycle at once with its button. The
menu entry asks for an administrator's password through polkit.")

include(CPack)
