# What a release is: the programs' versions (their About boxes show the same) and the
# installed layout: the programs in bin/, their libraries, plug-ins and tools in a
# folder of their own that the programs find relative to themselves.
set(CORVANE_VERSION 1.0.9)
set(MIRAVEL_VERSION 0.3.2)

include(GNUInstallDirs)
set(CORV_INSTALL_LIBRARY_DIR lib/corvane CACHE STRING
    "Folder under the prefix for the programs' libraries, plug-ins and tools")
file(RELATIVE_PATH CORV_LIBRARY_FROM_BIN
     ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${CORV_INSTALL_LIBRARY_DIR})
