# Client bindings for the Wayland protocols in src/platform/wayland/protocols,
# generated at build time: a header <name>-client.h and its code, added to
# `target`, with the output folder on its include path.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET GLOBAL wayland-client)

function(tuckshelf_wayland_protocols target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/protocols)
  file(MAKE_DIRECTORY ${out})
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    get_filename_component(path ${xml} ABSOLUTE)
    add_custom_command(OUTPUT ${out}/${name}-client.h
      COMMAND ${WAYLAND_SCANNER} client-header ${path} ${out}/${name}-client.h
      DEPENDS ${path} VERBATIM)
    add_custom_command(OUTPUT ${out}/${name}-protocol.c
      COMMAND ${WAYLAND_SCANNER} private-code ${path} ${out}/${name}-protocol.c
      DEPENDS ${path} VERBATIM)
    target_sources(${target} PRIVATE ${out}/${name}-client.h ${out}/${name}-protocol.c)
  endforeach()
  target_include_directories(${target} PUBLIC ${out})
  target_link_libraries(${target} PUBLIC PkgConfig::WAYLAND_CLIENT)
endfunction()
