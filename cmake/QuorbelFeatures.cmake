# Every system feature the code uses where present, found here and nowhere
# else. The results go to the generated header QuorbelFeatures.h (target
# quorbel_features); code asks `#if QUORBEL_HAVE_...`, never the platform's
# name. QUORBEL_GENERIC_POSIX turns every one of them off, to build and test
# the plain POSIX path that macOS and the BSDs take.
include(CheckSymbolExists)
include(CheckIncludeFileCXX)

option(QUORBEL_GENERIC_POSIX "Use only plain POSIX calls, as on macOS and the BSDs" OFF)

function(quorbel_check_symbol variable symbol headers)
  if(QUORBEL_GENERIC_POSIX OR WIN32)
    set(${variable} 0 PARENT_SCOPE)
    return()
  endif()
  set(CMAKE_REQUIRED_DEFINITIONS -D_GNU_SOURCE)
  check_symbol_exists(${symbol} "${headers}" ${variable}_FOUND)
  if(${variable}_FOUND)
    set(${variable} 1 PARENT_SCOPE)
  else()
    set(${variable} 0 PARENT_SCOPE)
  endif()
endfunction()

# Output file: an unnamed temporary that a crash cannot leave behind, a
# directory handle that opens nothing, procfs (whose links stand for open
# files), space reserved before a file is overwritten, extended attributes.
quorbel_check_symbol(QUORBEL_HAVE_O_TMPFILE O_TMPFILE "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_O_PATH O_PATH "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_PROC_SUPER_MAGIC PROC_SUPER_MAGIC "sys/statfs.h;linux/magic.h")
quorbel_check_symbol(QUORBEL_HAVE_FALLOCATE fallocate "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_POSIX_FALLOCATE posix_fallocate "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_LINUX_XATTR flistxattr "sys/xattr.h")
quorbel_check_symbol(QUORBEL_HAVE_FICLONE FICLONE "linux/fs.h")

configure_file(${CMAKE_CURRENT_LIST_DIR}/QuorbelFeatures.h.in
  ${PROJECT_BINARY_DIR}/generated/QuorbelFeatures.h @ONLY)
add_library(quorbel_features INTERFACE)
target_include_directories(quorbel_features INTERFACE ${PROJECT_BINARY_DIR}/generated)
