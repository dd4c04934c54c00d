# Cross build for Windows x86-64 with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix: the POSIX
# thread model, which std::thread and std::mutex need). Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QF_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QF_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QF_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QF_MINGW_PREFIX}-windres REQUIRED)

# Windows x64 keeps the stack only 16-byte aligned, and GCC cannot realign it for 32- and 64-byte vector
# spills (GCC bug 54412): an aligned AVX move to the stack may fault. The assembler turns every aligned
# vector move into its unaligned form, which costs nothing on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Target headers and libraries from the mingw sysroot only; build-time programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread linked in, so every program and the plug-in need only DLLs that
# every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and other target programs run under Wine, in a prefix of the build folder's own (created by the
# test fixture wine_prefix), quiet and without a display.
find_program(QF_WINE NAMES wine64 wine PATHS /usr/lib/wine)
set(QF_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
if(QF_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${QF_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      ${QF_WINE})
endif()
