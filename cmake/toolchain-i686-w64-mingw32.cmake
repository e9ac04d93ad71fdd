# 32-bit Windows with MinGW-w64, given to cmake as CMAKE_TOOLCHAIN_FILE.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OMRIX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
