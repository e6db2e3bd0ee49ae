# The program's own read-only files. The program finds them at "../share/gridlark" from its
# executable's folder; the build copies them to <build>/share/gridlark, so the program and the
# tools in <build>/app and <build>/tools find them as the installed program does in
# <prefix>/share/gridlark.
set(GRIDLARK_PROGRAM_RESOURCES StartFinishDataBase.xml samples/sample.gld)

function(gridlark_copy_program_resources)
  set(outputs)
  foreach(resource IN LISTS GRIDLARK_PROGRAM_RESOURCES)
    set(source "${GRIDLARK_RESOURCES_DIR}/${resource}")
    set(copy "${CMAKE_BINARY_DIR}/share/gridlark/${resource}")
    add_custom_command(OUTPUT "${copy}"
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${source}" "${copy}"
      DEPENDS "${source}" VERBATIM)
    list(APPEND outputs "${copy}")
  endforeach()
  add_custom_target(gridlark_resources DEPENDS ${outputs})
  # Everything that reads them links the session library.
  add_dependencies(session gridlark_resources)
endfunction()
