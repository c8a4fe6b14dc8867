# Cross-builds the Qt-free targets for 64-bit Windows with Debian's MinGW-w64.
# The -posix compilers are needed: the win32-thread ones have no std::mutex,
# which GoogleTest uses. Everything is linked statically so that the .exe files
# run under Wine (and on Windows) without MinGW's runtime DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLON_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${QUILLON_MINGW_TRIPLET}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${QUILLON_MINGW_TRIPLET}-g++-posix)
find_program(CMAKE_RC_COMPILER ${QUILLON_MINGW_TRIPLET}-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_C_COMPILER)
  message(FATAL_ERROR "MinGW-w64 compilers (${QUILLON_MINGW_TRIPLET}-g++-posix) not found: install the Debian package mingw-w64")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test discovery run the .exe files through Wine.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(QUILLON_WINE wine)
  if(QUILLON_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLON_WINE})
  endif()
endif()
