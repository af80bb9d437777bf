# Shared part of the mingw-w64 cross toolchains: posix thread model (GoogleTest needs
# std::mutex), everything linked statically so no runtime DLLs need shipping, and
# programs run through Wine when CMake or CTest has to execute them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARNWICK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNWICK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNWICK_TRIPLE}-windres)
set(TARNWICK_WIDL ${TARNWICK_TRIPLE}-widl)
set(TARNWICK_OBJDUMP ${TARNWICK_TRIPLE}-objdump)
set(TARNWICK_DLLTOOL ${TARNWICK_TRIPLE}-dlltool)
# Debian's mingw packages ship no IDL files; Wine's development files do.
set(TARNWICK_WIDL_INCLUDE /usr/include/wine/wine/windows)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNWICK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run)
