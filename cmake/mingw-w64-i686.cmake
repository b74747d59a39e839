# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 posix-thread
# compilers (package g++-mingw-w64-i686-posix). The Qt built for Windows by
# scripts/build-qt-windows.sh is found through CMAKE_PREFIX_PATH:
#   cmake -S . -B build-windows \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DCMAKE_PREFIX_PATH=<Qt prefix>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(NODESPOTTER_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${NODESPOTTER_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NODESPOTTER_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${NODESPOTTER_MINGW_TARGET}-windres)

# Libraries and headers come from the MinGW sysroot and the Windows Qt only;
# programs (moc, rcc, uic of that Qt) run on this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${NODESPOTTER_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
