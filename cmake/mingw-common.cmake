# The MinGW-w64 cross toolchain of the triple that the including file sets.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIPLE}-windres)
# The program's library holds link-time optimisation objects: its archiver
# must index them.
set(CMAKE_AR ${TRIPLE}-gcc-ar-posix)
set(CMAKE_RANLIB ${TRIPLE}-gcc-ranlib-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
