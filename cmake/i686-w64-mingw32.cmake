# 32-bit Windows through Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CVOPOS_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# DLLs exporting through a .def file name stdcall entry points undecorated.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
