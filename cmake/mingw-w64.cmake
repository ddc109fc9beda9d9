# What both Windows toolchains share: cross-compiling with the mingw-w64 compilers of
# QUAVERLY_MINGW_TRIPLE, which the toolchain file sets before it includes this one. The -posix
# compilers carry the winpthreads runtime, so std::thread and std::mutex work.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUAVERLY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUAVERLY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUAVERLY_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUAVERLY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes, so that they run from any folder, installed or
# not, without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and programs run under Wine, in a prefix of the build's own, with the Wine that runs
# programs of this word size: scripts/wine-run reads it from each program it starts.
find_program(QUAVERLY_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
