# The library's exports, as export/exports.txt lists them: the Windows .def,
# the ELF version script and the WebAssembly module's export flags are made
# from that list, and the export checks are given it.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/export/exports.txt)
file(STRINGS ${PROJECT_SOURCE_DIR}/export/exports.txt QUORBEL_EXPORTS REGEX "^[^#]")
if(NOT QUORBEL_EXPORTS)
  message(FATAL_ERROR "export/exports.txt names no function")
endif()
foreach(name IN LISTS QUORBEL_EXPORTS)
  if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "export/exports.txt: '${name}' is not a C function's name")
  endif()
endforeach()

set(def "LIBRARY QUORBEL.dll\nEXPORTS\n")
set(map "{\n  global:\n")
set(QUORBEL_WASM_EXPORT_OPTIONS "")
set(ordinal 1)
foreach(name IN LISTS QUORBEL_EXPORTS)
  string(APPEND def "    ${name} @${ordinal}\n")
  string(APPEND map "    ${name};\n")
  list(APPEND QUORBEL_WASM_EXPORT_OPTIONS "LINKER:--export=${name}")
  math(EXPR ordinal "${ordinal} + 1")
endforeach()
string(APPEND map "  local:\n    *;\n};\n")

# Written through a copy that changes only when the text does, so that a
# new configure does not relink the library.
set(QUORBEL_DEF ${PROJECT_BINARY_DIR}/generated/quorbel.def)
set(QUORBEL_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/generated/quorbel.map)
foreach(kind def map)
  file(WRITE ${PROJECT_BINARY_DIR}/generated/exports.${kind}.new "${${kind}}")
  configure_file(${PROJECT_BINARY_DIR}/generated/exports.${kind}.new
    ${PROJECT_BINARY_DIR}/generated/quorbel.${kind} COPYONLY)
endforeach()
