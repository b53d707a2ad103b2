# The GNOME Shell extension that draws the shelf on GNOME, whose compositor
# lets no program put a panel above its top bar (gnome-extension/).
#
# It is written once, as ES modules (GNOME 45 on). GNOME 43 and 44 load the
# older imports.* form, which cmake/gnome_extension_form.py makes from it.
# The build writes the form chosen below to
# <build>/gnome-extension/<uuid>/, ready to copy into a Shell's extension
# folder, and the install puts it in share/gnome-shell/extensions/<uuid>/.

set(TUCKSHELF_GNOME_EXTENSION_UUID "tuckshelf@tuckshelf.github.io")
set(TUCKSHELF_GNOME_EXTENSION_FORM "auto" CACHE STRING
    "Form of the GNOME Shell extension: modules (GNOME 45 and later), imports (43 and 44), or auto (the gnome-shell found here, else modules)")
set_property(CACHE TUCKSHELF_GNOME_EXTENSION_FORM PROPERTY STRINGS auto modules imports)

set(_gnome_extension_form "${TUCKSHELF_GNOME_EXTENSION_FORM}")
if(_gnome_extension_form STREQUAL "auto")
  set(_gnome_extension_form modules)
  find_program(GNOME_SHELL_PROGRAM gnome-shell)
  if(GNOME_SHELL_PROGRAM)
    execute_process(COMMAND "${GNOME_SHELL_PROGRAM}" --version
                    OUTPUT_VARIABLE _gnome_shell_version ERROR_QUIET TIMEOUT 10)
    if(_gnome_shell_version MATCHES "GNOME Shell ([0-9]+)" AND CMAKE_MATCH_1 LESS 45)
      set(_gnome_extension_form imports)
    endif()
  endif()
elseif(NOT _gnome_extension_form MATCHES "^(modules|imports)$")
  message(FATAL_ERROR "TUCKSHELF_GNOME_EXTENSION_FORM is ${_gnome_extension_form}: "
                      "use auto, modules or imports")
endif()
message(STATUS "GNOME Shell extension: the ${_gnome_extension_form} form")

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The folder's scripts, metadata, stylesheet and icon go into the extension, and the program's
# interface with them, so that both sides build on the same contract.
file(GLOB _gnome_extension_sources CONFIGURE_DEPENDS
     "${PROJECT_SOURCE_DIR}/gnome-extension/*.js" "${PROJECT_SOURCE_DIR}/gnome-extension/*.json"
     "${PROJECT_SOURCE_DIR}/gnome-extension/*.css" "${PROJECT_SOURCE_DIR}/gnome-extension/*.svg")
list(APPEND _gnome_extension_sources "${PROJECT_SOURCE_DIR}/src/service/io.github.tuckshelf.Tuckshelf1.xml")
set(_gnome_extension_script "${PROJECT_SOURCE_DIR}/cmake/gnome_extension_form.py")
set(TUCKSHELF_GNOME_EXTENSION_DIR "${PROJECT_BINARY_DIR}/gnome-extension/${TUCKSHELF_GNOME_EXTENSION_UUID}")
set(_gnome_extension_stamp "${PROJECT_BINARY_DIR}/gnome-extension/${_gnome_extension_form}.stamp")

add_custom_command(OUTPUT "${_gnome_extension_stamp}"
                   COMMAND "${Python3_EXECUTABLE}" "${_gnome_extension_script}"
                           --form "${_gnome_extension_form}" --out "${TUCKSHELF_GNOME_EXTENSION_DIR}"
                           ${_gnome_extension_sources}
                   COMMAND "${CMAKE_COMMAND}" -E touch "${_gnome_extension_stamp}"
                   DEPENDS ${_gnome_extension_sources} "${_gnome_extension_script}"
                   COMMENT "Writing the GNOME Shell extension (${_gnome_extension_form} form)"
                   VERBATIM)
add_custom_target(gnome_extension ALL DEPENDS "${_gnome_extension_stamp}")
set_target_properties(gnome_extension PROPERTIES EXTENSION_DIR "${TUCKSHELF_GNOME_EXTENSION_DIR}")
# `make install` and `make package` build the program's target alone.
add_dependencies(tuckshelf gnome_extension)

install(DIRECTORY "${TUCKSHELF_GNOME_EXTENSION_DIR}/"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions/${TUCKSHELF_GNOME_EXTENSION_UUID}"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT tuckshelf)
