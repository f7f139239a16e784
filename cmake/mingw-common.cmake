# The posix-threads flavour of MinGW: its libstdc++ has std::mutex, which GoogleTest needs.
# Everything is linked statically, so the executables still import only system DLLs.
set(CMAKE_C_COMPILER   ${VELMOR_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMOR_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELMOR_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMOR_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
