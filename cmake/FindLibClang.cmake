# libclang's C API (Debian: libclang-dev), for declgen.
#
# Looks where llvm-config says LLVM lives, then in Debian's /usr/lib/llvm-N layout.
# Defines the imported target LibClang::LibClang and LibClang_RESOURCE_DIR, the
# directory of clang's own headers (stddef.h, intrinsics) that a parse needs.
find_program(LibClang_LLVM_CONFIG NAMES llvm-config llvm-config-14 llvm-config-15 llvm-config-16)
set(_hints "")
if(LibClang_LLVM_CONFIG)
  execute_process(COMMAND ${LibClang_LLVM_CONFIG} --prefix OUTPUT_VARIABLE _prefix OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND _hints ${_prefix})
endif()
file(GLOB _debian_prefixes LIST_DIRECTORIES true /usr/lib/llvm-*)
list(SORT _debian_prefixes COMPARE NATURAL ORDER DESCENDING)
list(APPEND _hints ${_debian_prefixes})

find_path(LibClang_INCLUDE_DIR clang-c/Index.h HINTS ${_hints} PATH_SUFFIXES include NO_DEFAULT_PATH)
find_library(LibClang_LIBRARY NAMES clang libclang.so.1 HINTS ${_hints} PATH_SUFFIXES lib NO_DEFAULT_PATH)
if(LibClang_LIBRARY)
  # The resource directory lies beside the library: lib/clang/VERSION/include.
  get_filename_component(_libdir ${LibClang_LIBRARY} DIRECTORY)
  file(GLOB _resources LIST_DIRECTORIES true ${_libdir}/clang/*)
  list(SORT _resources COMPARE NATURAL ORDER DESCENDING)
  foreach(dir IN LISTS _resources)
    if(EXISTS ${dir}/include/stddef.h)
      set(LibClang_RESOURCE_DIR ${dir} CACHE PATH "clang's resource directory")
      break()
    endif()
  endforeach()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibClang
  REQUIRED_VARS LibClang_LIBRARY LibClang_INCLUDE_DIR LibClang_RESOURCE_DIR
  REASON_FAILURE_MESSAGE "declgen needs libclang's C API: install Debian's libclang-dev (scripts/setup does)")

if(LibClang_FOUND AND NOT TARGET LibClang::LibClang)
  add_library(LibClang::LibClang UNKNOWN IMPORTED)
  set_target_properties(LibClang::LibClang PROPERTIES
    IMPORTED_LOCATION ${LibClang_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${LibClang_INCLUDE_DIR})
endif()
