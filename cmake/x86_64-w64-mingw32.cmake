# 64-bit Windows (x64): the same program for systems that run no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTRANA_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
