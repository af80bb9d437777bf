# 64-bit Windows (x86-64) through mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNWICK_TRIPLE x86_64-w64-mingw32)
# Wine's 64-bit Windows libraries: stdole2.tlb for widl's importlib.
set(TARNWICK_WINE_WINDOWS_LIB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
