# Third-party libraries from Debian's packages, for native and cross builds alike.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 REQUIRED)
  if(TARNWICK_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
  return()
endif()

# Cross builds: the header-only libraries come from the host's /usr/include, seen
# through a folder of their own so the Windows compiler never sees the host's libc.
set(_staged ${CMAKE_BINARY_DIR}/_host_headers)
file(MAKE_DIRECTORY ${_staged})
foreach(dir nlohmann CLI)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${_staged}/${dir} SYMBOLIC)
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${_staged})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${_staged})

# GoogleTest ships its sources; build them with the cross compiler.
if(TARNWICK_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  # (googletest's own build defines the GTest:: aliases)
endif()
