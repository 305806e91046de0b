# The Windows download: `cpack -G ZIP` in a MinGW build folder makes
# quorbel-<version>-win64.zip (win32 from a 32-bit build) with the DLL, its
# import libraries for MinGW (libquorbel.dll.a) and for MSVC (quorbel.lib),
# the .def both come from, the header, the tool when it is built, the CMake
# and pkg-config files, the README and the licence. Debian's packages come
# from debian/ with dpkg-buildpackage, so CPack makes nothing elsewhere.
if(NOT WIN32)
  return()
endif()

# MSVC's linker reads an import library of its own format, which dlltool
# writes from the same .def that gives the DLL its exports. A 32-bit one
# carries the leading underscore that MSVC gives C names there.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(dlltool_machine i386:x86-64)
else()
  set(dlltool_machine i386)
endif()
set(QUORBEL_DEF ${PROJECT_SOURCE_DIR}/export/quorbel.def)
set(QUORBEL_MSVC_IMPORT_LIBRARY ${PROJECT_BINARY_DIR}/export/quorbel.lib)
# Named from its own folder, as dlltool names the members after the path.
add_custom_command(OUTPUT ${QUORBEL_MSVC_IMPORT_LIBRARY}
  COMMAND ${CMAKE_DLLTOOL} --machine ${dlltool_machine} --input-def ${QUORBEL_DEF}
    --dllname QUORBEL.dll --output-lib quorbel.lib
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/export
  DEPENDS ${QUORBEL_DEF}
  COMMENT "MSVC import library quorbel.lib")
add_custom_target(quorbel_msvc_import_library ALL DEPENDS ${QUORBEL_MSVC_IMPORT_LIBRARY})

install(FILES ${QUORBEL_MSVC_IMPORT_LIBRARY} ${QUORBEL_DEF}
  DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION . COMPONENT documentation)

set(CPACK_PACKAGE_NAME quorbel)
set(CPACK_PACKAGE_VENDOR "The Quorbel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# CPack would call any MinGW build win32: the name follows the pointer size.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_GENERATOR ZIP)
# Debuggers find nothing useful in a download without its sources.
set(CPACK_STRIP_FILES ON)
include(CPack)
