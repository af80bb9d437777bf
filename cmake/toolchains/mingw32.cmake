# 32-bit Windows (i686) through mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARNWICK_TRIPLE i686-w64-mingw32)
# Wine's 32-bit Windows libraries: stdole2.tlb for widl's importlib.
set(TARNWICK_WINE_WINDOWS_LIB /usr/lib/i386-linux-gnu/wine/i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
