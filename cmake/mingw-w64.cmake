# What both Windows toolchains share: Debian's MinGW-w64 compilers for the
# triple that the including file sets in MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One brisvel.exe that runs on a bare Windows: no MinGW runtime DLLs. No
# time stamp in its header, so that two builds of one commit are the same
# bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
