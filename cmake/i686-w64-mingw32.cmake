# Cross-compiles the 32-bit Windows programs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUAVERLY_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
