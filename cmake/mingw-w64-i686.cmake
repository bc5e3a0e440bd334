# Cross-compiles the 32-bit Windows build with Debian's MinGW-w64 compiler
# (package g++-mingw-w64-i686). The processor is named x86, as Windows names
# a 32-bit x86 build, so the zip is brisvel-VERSION-windows-x86.zip.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
