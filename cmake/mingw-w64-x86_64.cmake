# Cross-building the translator core and the platform layer for 64-bit Windows with Debian's
# mingw-w64 (the posix thread model, for std::thread and std::mutex), its tests run by wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(EDI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${EDI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EDI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${EDI_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${EDI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The programs carry their C and C++ runtime (and winpthread) inside: nothing to copy beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Debian installs wine64 in wine's own folder, not on the PATH.
find_program(EDI_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(EDI_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EDI_WINE64})
endif()
