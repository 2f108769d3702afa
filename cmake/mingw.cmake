# Cross build for Windows with MinGW-w64 (posix thread model). LUMORA_WIN_ARCH selects the
# processor: i686 (the product, a 32-bit DLL; default) or x86_64 (the same code as a 64-bit
# build, which Wine can run on hosts that execute no 32-bit programs).
if(NOT LUMORA_WIN_ARCH)
  set(LUMORA_WIN_ARCH i686)
endif()
set(triple ${LUMORA_WIN_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LUMORA_WIN_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${LUMORA_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON)
if(LUMORA_WIN_ARCH STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
if(LUMORA_WIN_ARCH STREQUAL "i686")
  # Doubles are computed as doubles (SSE2), not in the x87's 80-bit registers, so that the
  # arithmetic that is specified to the last digit (white balance, tone tables, exposure time)
  # gives the same results as the 64-bit and native builds. The DLL therefore needs SSE2.
  set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
  set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
endif()
# libgcc, libstdc++ and winpthread go into the DLL and the test programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
