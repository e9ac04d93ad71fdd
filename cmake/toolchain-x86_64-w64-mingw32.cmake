# 64-bit Windows with MinGW-w64, given to cmake as CMAKE_TOOLCHAIN_FILE.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OMRIX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
