# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# which std::thread needs). The runtime is linked in statically so that
# vennix-cli.exe runs on a Windows PC with nothing installed beside it.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VENNIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VENNIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VENNIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VENNIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VENNIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs under wine.
find_program(VENNIX_WINE wine)
if(VENNIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VENNIX_WINE})
endif()
