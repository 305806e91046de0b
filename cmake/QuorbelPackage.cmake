# The Windows download: `cpack -G ZIP` in a MinGW build folder makes
# quorbel-<version>-win64.zip (win32 from a 32-bit build) with the DLL, its
# import libraries for MinGW (libquorbel.dll.a) and for MSVC (quorbel.lib),
# the .def both come from, the header, the tool when it is built, the CMake
# and pkg-config files, the README with the documents in docs/ it links to,
# the changelog and the licence. Debian's packages come
# from debian/ with dpkg-buildpackage, so CPack makes nothing elsewhere.
if(NOT WIN32)
  return()
endif()

# MSVC's linker, and lld-link, want an import library in the short format
# of Microsoft's own tools: GNU dlltool's long format marks no object as
# safe for SEH (no @feat.00), so a 32-bit link with /SAFESEH, which Visual
# Studio's x86 projects turn on, refuses it. llvm-dlltool writes the short
# format from the same .def that gives the DLL its exports; its 32-bit
# symbol is _WriteMIDI, the __cdecl name MSVC gives the header's
# declaration, and it imports the DLL's plain WriteMIDI.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(dlltool_machine i386:x86-64)
else()
  set(dlltool_machine i386)
endif()
set(QUORBEL_MSVC_IMPORT_LIBRARY ${PROJECT_BINARY_DIR}/export/quorbel.lib)
find_program(QUORBEL_LLVM_DLLTOOL llvm-dlltool
  DOC "llvm-dlltool, which writes quorbel.lib, the import library for MSVC")
if(QUORBEL_LLVM_DLLTOOL)
  add_custom_command(OUTPUT ${QUORBEL_MSVC_IMPORT_LIBRARY}
    COMMAND ${QUORBEL_LLVM_DLLTOOL} -m ${dlltool_machine} -d ${QUORBEL_DEF}
      -D QUORBEL.dll -l ${QUORBEL_MSVC_IMPORT_LIBRARY}
    DEPENDS ${QUORBEL_DEF}
    COMMENT "MSVC import library quorbel.lib")
  add_custom_target(quorbel_msvc_import_library ALL DEPENDS ${QUORBEL_MSVC_IMPORT_LIBRARY})
  install(FILES ${QUORBEL_MSVC_IMPORT_LIBRARY}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
else()
  message(WARNING "llvm-dlltool not found (Debian: apt-get install llvm): "
    "no quorbel.lib, the import library for MSVC, is made or installed")
endif()

install(FILES ${QUORBEL_DEF}
  DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION . COMPONENT documentation)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT documentation)

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
