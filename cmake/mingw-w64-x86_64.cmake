# Cross-compiling the Windows build on Debian: 64-bit MinGW-w64 with the posix thread model
# (the win32 model has no std::thread or std::mutex), runtime linked in statically so the exe
# needs no libstdc++/libgcc/winpthread DLLs next to it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDEWAKE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDEWAKE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWAKE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWAKE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIDEWAKE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs built here run under Wine.
find_program(TIDEWAKE_WINE wine)
if(TIDEWAKE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TIDEWAKE_WINE})
endif()
