# What `cmake --install` puts in place: the library with its SONAME links (on
# Windows the DLL and its import library), the header, the tool and its man
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

# The pkg-config file names the prefix given at install time
# (cmake --install --prefix), so it is written then.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(pc_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(pc_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
install(CODE "
  set(QUORBEL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(QUORBEL_PC_LIBDIR [[${pc_LIBDIR}]])
  set(QUORBEL_PC_INCLUDEDIR [[${pc_INCLUDEDIR}]])
  set(PROJECT_DESCRIPTION [[${PROJECT_DESCRIPTION}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  configure_file([[${CMAKE_CURRENT_LIST_DIR}/quorbel.pc.in]]
                 [[${PROJECT_BINARY_DIR}/quorbel.pc]] @ONLY)
" COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/quorbel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

if(TARGET quorbel_tool)
  install(TARGETS quorbel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES ${PROJECT_BINARY_DIR}/cli/quorbel.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()
