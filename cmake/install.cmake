# Install layout, the Debian package, and the checks of both.
#
#   cmake --install build --prefix /usr/local   # what `make install` runs
#   cpack --config build/CPackConfig.cmake      # what `make package` runs
#
# Everything lands under the prefix except the autostart entry, which goes
# where session managers look for it: with the prefix /usr (the package) or
# /, that is /etc/xdg/autostart, as GNUInstallDirs maps sysconfdir; with any
# other prefix it is <prefix>/etc/xdg/autostart, which a session reads only
# if that directory is added to XDG_CONFIG_DIRS.

include(GNUInstallDirs)

# Directories the install creates are 0755 whatever the installer's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(TUCKSHELF_APP_ID "io.github.tuckshelf.Tuckshelf")
set(TUCKSHELF_PACKAGE_CONTACT "Tuckshelf maintainers <maintainers@tuckshelf.invalid>"
    CACHE STRING "Maintainer field of the Debian package: Name <email>")

set(_tuckshelf_data "${PROJECT_SOURCE_DIR}/data")

# One component, so the package holds the program's files and nothing that a
# test or benchmark directory might install some day.
install(TARGETS tuckshelf RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tuckshelf)
install(FILES "${_tuckshelf_data}/${TUCKSHELF_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT tuckshelf)
install(FILES "${_tuckshelf_data}/tuckshelf.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        RENAME "${TUCKSHELF_APP_ID}.svg" COMPONENT tuckshelf)
install(FILES "${_tuckshelf_data}/${TUCKSHELF_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT tuckshelf)

# Decided at install time, not configure time: `cmake --install --prefix` and
# CPack (prefix /usr) both replace the prefix the tree was configured with.
# A relative sysconfdir follows the prefix; an absolute one is kept as given.
install(CODE "
  set(_sysconfdir \"${CMAKE_INSTALL_SYSCONFDIR}\")
  if(NOT IS_ABSOLUTE \"\${_sysconfdir}\")
    if(CMAKE_INSTALL_PREFIX MATCHES \"^/(usr/?)?$\")
      set(_sysconfdir \"/\${_sysconfdir}\")
    else()
      set(_sysconfdir \"\${CMAKE_INSTALL_PREFIX}/\${_sysconfdir}\")
    endif()
  endif()
  file(INSTALL DESTINATION \"\${_sysconfdir}/xdg/autostart\" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       RENAME \"${TUCKSHELF_APP_ID}.desktop\"
       FILES \"${_tuckshelf_data}/tuckshelf-autostart.desktop\")
" COMPONENT tuckshelf)

# The manual page and the Debian changelog are installed compressed, as
# Debian wants them; -n keeps the name and time stamp out, so the bytes are
# reproducible. They are built with the program, so a tree built with
# `--target tuckshelf` (as `make install` and `make package` do) has them.
# The changelog's maintainer is the package's.
set(_tuckshelf_man_gz "${PROJECT_BINARY_DIR}/tuckshelf.1.gz")
set(_tuckshelf_changelog "${PROJECT_BINARY_DIR}/changelog.Debian")
configure_file("${_tuckshelf_data}/changelog.Debian.in" "${_tuckshelf_changelog}" @ONLY)
add_custom_command(OUTPUT "${_tuckshelf_man_gz}"
                   COMMAND gzip -9 -n -c "${_tuckshelf_data}/tuckshelf.1" > "${_tuckshelf_man_gz}"
                   DEPENDS "${_tuckshelf_data}/tuckshelf.1" VERBATIM)
add_custom_command(OUTPUT "${_tuckshelf_changelog}.gz"
                   COMMAND gzip -9 -n -c "${_tuckshelf_changelog}" > "${_tuckshelf_changelog}.gz"
                   DEPENDS "${_tuckshelf_changelog}" VERBATIM)
add_custom_target(tuckshelf_docs DEPENDS "${_tuckshelf_man_gz}" "${_tuckshelf_changelog}.gz")
add_dependencies(tuckshelf tuckshelf_docs)

install(FILES "${_tuckshelf_man_gz}"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tuckshelf)
# The licence in Debian's machine-readable form, and the changelog, where
# Debian keeps them: <prefix>/share/doc/tuckshelf.
install(FILES "${_tuckshelf_data}/copyright" "${_tuckshelf_changelog}.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT tuckshelf)

# The GNOME Shell extension that draws the panel on GNOME, in the same
# component.
include("${CMAKE_CURRENT_LIST_DIR}/gnome_extension.cmake")

# ---- Debian package -------------------------------------------------------

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tuckshelf")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TUCKSHELF_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clipboard history in a panel at the top of the screen")
# Debian wants the extended description wrapped; CPack keeps line breaks.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Tuckshelf keeps a short history of what you copy and shows it in a small
panel hanging from the top centre of the screen. Push the pointer into the
top edge to list the last five clips; click one to copy it again. Texts
survive a restart, images stay in memory, and secrets marked by password
managers are never recorded. It runs on X11, or through XWayland; on
GNOME a Shell extension that comes with it draws the panel.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};tuckshelf;/")
set(CPACK_STRIP_FILES ON)

# The newest entry of the Debian changelog names the package's version: its
# upstream part must be the project's, and the Debian revision after the last
# hyphen comes from it, so the control file and the changelog agree.
file(STRINGS "${_tuckshelf_data}/changelog.Debian.in" _tuckshelf_newest LIMIT_COUNT 1)
if(NOT _tuckshelf_newest MATCHES "^tuckshelf \\(([^)]+)-([^)-]+)\\) ")
  message(FATAL_ERROR "data/changelog.Debian.in does not start with \"tuckshelf (<version>-<revision>)\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "data/changelog.Debian.in's newest entry is for ${CMAKE_MATCH_1}, "
                      "the project is ${PROJECT_VERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE "${CMAKE_MATCH_2}")

set(CPACK_DEBIAN_PACKAGE_NAME "tuckshelf")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its Wayland platform plugin at run time, so no library names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
# Copied text often holds emoji, which the panel draws in colour only with
# such a font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Everything under /etc is a conffile, so an administrator's edit of the
# autostart entry (Hidden=true, say) survives upgrades; `apt-get purge`
# removes it, and after a plain remove its TryExec keeps it from starting.
set(_tuckshelf_conffiles "${PROJECT_BINARY_DIR}/debian-control/conffiles")
file(WRITE "${_tuckshelf_conffiles}" "/etc/xdg/autostart/${TUCKSHELF_APP_ID}.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_tuckshelf_conffiles}")

include(CPack)

# ---- Checks ---------------------------------------------------------------

if(BUILD_TESTING OR TUCKSHELF_TESTS)
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  find_program(APPSTREAMCLI appstreamcli)

  add_test(NAME install_desktop_entry
           COMMAND "${DESKTOP_FILE_VALIDATE}" "${_tuckshelf_data}/${TUCKSHELF_APP_ID}.desktop")
  add_test(NAME install_autostart_entry
           COMMAND "${DESKTOP_FILE_VALIDATE}" "${_tuckshelf_data}/tuckshelf-autostart.desktop")
  add_test(NAME install_metainfo
           COMMAND "${APPSTREAMCLI}" validate --no-net "${_tuckshelf_data}/${TUCKSHELF_APP_ID}.metainfo.xml")
  add_test(NAME install_layout
           COMMAND sh "${PROJECT_SOURCE_DIR}/tests/install/check_install.sh"
                   "${PROJECT_BINARY_DIR}" "${TUCKSHELF_APP_ID}"
                   "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}" "${TUCKSHELF_PACKAGE_CONTACT}")
  set_tests_properties(install_desktop_entry install_autostart_entry install_metainfo install_layout
                       PROPERTIES LABELS install TIMEOUT 120)
  # desktop-file-validate exits 0 on warnings: fail on them as on errors.
  set_tests_properties(install_desktop_entry install_autostart_entry install_metainfo
                       PROPERTIES FAIL_REGULAR_EXPRESSION "(^|\n)(W|E): |warning|error")
endif()
