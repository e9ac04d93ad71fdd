# Where an install puts things, relative to its prefix. The library lies in the system's library
# directory: glibc ignores a relative RUNPATH in a program given CAP_SYS_RAWIO, so the programs
# must find it without one. The data files are architecture-independent.
include(GNUInstallDirs)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(OMRIX_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(OMRIX_INSTALL_LIBDIR lib)
endif()
set(OMRIX_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/omrix)
# How the installed library finds its data files, from its own directory.
file(RELATIVE_PATH OMRIX_DATA_FROM_LIBRARY /${OMRIX_INSTALL_LIBDIR} /${OMRIX_INSTALL_DATADIR})
# A library beside this file is in a build tree: it keeps what it writes beside itself, as
# the tests expect. The file is never installed.
set(OMRIX_BUILD_TREE_MARKER omrix-build-tree)
file(CONFIGURE OUTPUT ${OMRIX_OUTPUT_DIR}/${OMRIX_BUILD_TREE_MARKER}
     CONTENT "This directory is a build tree: the omrix library keeps its state here.\n")
# For the code that finds the directories, in the library and in the programs.
set(OMRIX_DIRECTORY_DEFINITIONS OMRIX_DATA_FROM_LIBRARY="${OMRIX_DATA_FROM_LIBRARY}"
    OMRIX_BUILD_TREE_MARKER="${OMRIX_BUILD_TREE_MARKER}")
