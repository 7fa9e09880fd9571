# Cross-compiles for Windows with mingw-w64, for the architecture whose
# toolchain file includes this one after setting KESTRANA_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR. The win32 thread model is used so that nothing
# pulls in a threading runtime the program never needs.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${KESTRANA_TRIPLE}-gcc-win32 ${KESTRANA_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTRANA_TRIPLE}-g++-win32 ${KESTRANA_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTRANA_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRANA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
