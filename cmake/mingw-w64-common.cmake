# Shared part of the mingw-w64 cross toolchains. The including file sets
# CVOPOS_MINGW_TRIPLE before including this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)

# The posix thread model: the win32 one has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${CVOPOS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CVOPOS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CVOPOS_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CVOPOS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) goes into every
# program and DLL, so nothing has to be shipped beside them. A DLL exports
# only its own code: re-exported runtime symbols would clash with the
# runtime each program carries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,ALL")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,ALL")
