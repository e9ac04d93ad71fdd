# Shared by the MinGW-w64 toolchain files, which set OMRIX_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${OMRIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMRIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${OMRIX_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OMRIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime linked in: a DLL or program that needs libgcc_s or libstdc++ DLLs beside it does
# not start where they are missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Build-time programs (the data generator) and the tests run through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
