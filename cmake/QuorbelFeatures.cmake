# Every system feature the code uses where present, found here and nowhere
# else. The results go to the generated header QuorbelFeatures.h (target
# quorbel_features); code asks `#if QUORBEL_HAVE_...`, never the platform's
# name. QUORBEL_GENERIC_POSIX turns every one of them off, to build and test
# the plain POSIX path that macOS and the BSDs take.
include(CheckSymbolExists)
include(CheckIncludeFileCXX)

option(QUORBEL_GENERIC_POSIX "Use only plain POSIX calls, as on macOS and the BSDs" OFF)

# `variable` is 1 where the system declares `symbol` in `headers`, else 0:
# always 0 on Windows, and on the generic POSIX path too unless the symbol is
# one of the tests' instruments (TEST).
function(quorbel_check_symbol variable symbol headers)
  cmake_parse_arguments(PARSE_ARGV 3 check "TEST" "" "")
  set(${variable} 0 PARENT_SCOPE)
  if(WIN32 OR (QUORBEL_GENERIC_POSIX AND NOT check_TEST))
    return()
  endif()
  set(CMAKE_REQUIRED_DEFINITIONS -D_GNU_SOURCE)
  check_symbol_exists(${symbol} "${headers}" ${variable}_FOUND)
  if(${variable}_FOUND)
    set(${variable} 1 PARENT_SCOPE)
  endif()
endfunction()

# Output file: an unnamed temporary that a crash cannot leave behind, a
# directory handle that opens nothing, procfs (whose links stand for open
# files), space reserved before a file is overwritten, extended attributes.
quorbel_check_symbol(QUORBEL_HAVE_O_TMPFILE O_TMPFILE "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_O_PATH O_PATH "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_PROC_SUPER_MAGIC PROC_SUPER_MAGIC "sys/statfs.h;linux/magic.h")
quorbel_check_symbol(QUORBEL_HAVE_FALLOCATE fallocate "fcntl.h")
quorbel_check_symbol(QUORBEL_HAVE_LINUX_XATTR flistxattr "sys/xattr.h")
quorbel_check_symbol(QUORBEL_HAVE_STATX statx "sys/stat.h")

# The benchmarks tell a tmpfs scratch directory from a disk.
quorbel_check_symbol(QUORBEL_HAVE_TMPFS_MAGIC TMPFS_MAGIC "sys/vfs.h;linux/magic.h")

# Module entry: constructor priorities, so that the framework's module lists
# are handed over around the static initialisers; dladdr, for the module's
# load address.
include(CheckCSourceCompiles)
include(CheckLinkerFlag)
if(QUORBEL_GENERIC_POSIX OR WIN32)
  set(QUORBEL_HAVE_CONSTRUCTOR_PRIORITY 0)
else()
  set(CMAKE_REQUIRED_FLAGS -Werror)
  check_c_source_compiles([[
    __attribute__((constructor(101))) static void first(void) {}
    __attribute__((destructor(101))) static void last(void) {}
    int main(void) { return 0; }]] QUORBEL_CONSTRUCTOR_PRIORITY_FOUND)
  unset(CMAKE_REQUIRED_FLAGS)
  if(QUORBEL_CONSTRUCTOR_PRIORITY_FOUND)
    set(QUORBEL_HAVE_CONSTRUCTOR_PRIORITY 1)
  else()
    set(QUORBEL_HAVE_CONSTRUCTOR_PRIORITY 0)
  endif()
endif()
set(CMAKE_REQUIRED_LIBRARIES ${CMAKE_DL_LIBS})
quorbel_check_symbol(QUORBEL_HAVE_DLADDR dladdr "dlfcn.h")
unset(CMAKE_REQUIRED_LIBRARIES)

# The shared library's link: a version script that exports the functions of
# export/exports.txt alone, and no symbol left unresolved. Plain variables,
# for export/CMakeLists.txt.
if(QUORBEL_GENERIC_POSIX OR WIN32)
  set(QUORBEL_HAVE_VERSION_SCRIPT OFF)
  set(QUORBEL_HAVE_NO_UNDEFINED OFF)
else()
  check_linker_flag(CXX "LINKER:--version-script=${QUORBEL_VERSION_SCRIPT}"
    QUORBEL_HAVE_VERSION_SCRIPT)
  check_linker_flag(CXX "LINKER:--no-undefined" QUORBEL_HAVE_NO_UNDEFINED)
endif()

# The tests' instruments. They are the test's, not the library's, so the
# generic path keeps them where the system has them and its suite stays whole:
# glibc's allocator under the names it keeps for a replacement malloc; a
# file in memory with no name; an executable's definitions taking the place
# of the C library's for the shared libraries too (ELF symbol interposition
# with RTLD_NEXT; macOS's two-level namespace has none).
quorbel_check_symbol(QUORBEL_HAVE_MEMFD_CREATE memfd_create "sys/mman.h" TEST)
set(CMAKE_REQUIRED_LIBRARIES ${CMAKE_DL_LIBS})
quorbel_check_symbol(QUORBEL_HAVE_RTLD_NEXT RTLD_NEXT "dlfcn.h" TEST)
unset(CMAKE_REQUIRED_LIBRARIES)
if(NOT WIN32)
  check_c_source_compiles([[
    #include <stddef.h>
    extern void *__libc_malloc(size_t size);
    extern void __libc_free(void *block);
    int main(void) { __libc_free(__libc_malloc(1)); return 0; }]] QUORBEL_HAVE_LIBC_MALLOC)
endif()
if(QUORBEL_HAVE_RTLD_NEXT AND CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
  set(QUORBEL_HAVE_ELF_INTERPOSITION ON)
else()
  set(QUORBEL_HAVE_ELF_INTERPOSITION OFF)
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/QuorbelFeatures.h.in
  ${PROJECT_BINARY_DIR}/generated/QuorbelFeatures.h @ONLY)
add_library(quorbel_features INTERFACE)
target_include_directories(quorbel_features INTERFACE ${PROJECT_BINARY_DIR}/generated)
