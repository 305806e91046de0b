# cmake --install of the Windows build puts in place the DLL, its import
# library, the headers and the CMake package.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_windows_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/QUORBEL.dll lib/libquorbel.dll.a include/quorbel/quorbel.h include/quorbel/version.h
             lib/cmake/Quorbel/QuorbelConfig.cmake lib/pkgconfig/quorbel.pc)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "Windows install: QUORBEL.dll, its import library, the header and the package")
