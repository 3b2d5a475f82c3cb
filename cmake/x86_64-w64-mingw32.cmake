# 64-bit Windows through Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CVOPOS_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
