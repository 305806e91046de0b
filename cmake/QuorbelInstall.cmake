# What `cmake --install` puts in place: the library with its SONAME links (on
# Windows the DLL and its import library), the headers, the tool and its man
# page, a CMake package and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORBEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorbel)

install(TARGETS quorbel EXPORT QuorbelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quorbel/quorbel.h
  ${QUORBEL_GENERATED_INCLUDE_DIR}/quorbel/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorbel COMPONENT development)

install(EXPORT QuorbelTargets NAMESPACE Quorbel::
  DESTINATION ${QUORBEL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorbelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorbelConfig.cmake
  INSTALL_DESTINATION ${QUORBEL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorbelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorbelConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorbelConfigVersion.cmake
  DESTINATION ${QUORBEL_CMAKE_DIR} COMPONENT development)

# The pkg-config file finds the prefix from where it is itself, so that it
# stays right for any prefix given at install time (cmake --install
# --prefix) and for a tree that is moved. A distribution's package, which
# never moves, names its prefix instead, as the system's other pkg-config
# files do: pkg-config then leaves the system's own folders out of the flags.
option(QUORBEL_PKGCONFIG_RELOCATABLE
  "The pkg-config file finds the prefix from where it is installed" ON)
set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${pc_dir}" OR NOT QUORBEL_PKGCONFIG_RELOCATABLE)
  set(QUORBEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix "/root/${pc_dir}" "/root")
  set(QUORBEL_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  string(REGEX REPLACE "/$" "" QUORBEL_PC_PREFIX "${QUORBEL_PC_PREFIX}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(QUORBEL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(QUORBEL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorbel.pc.in ${PROJECT_BINARY_DIR}/quorbel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorbel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

if(TARGET quorbel_tool)
  install(TARGETS quorbel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES ${PROJECT_BINARY_DIR}/cli/quorbel.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()
