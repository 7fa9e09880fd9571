# GoogleTest from Debian's googletest source package, built with the rest of
# the tree for whichever build this is.
set(KESTRANA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${KESTRANA_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${KESTRANA_GTEST_SOURCE}: run scripts/setup.sh")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRANA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GCC 12 inlines std::string's operator+ in GoogleTest's own sources and then
# warns of an overlap no run can reach (-Wrestrict); it is not ours to change.
target_compile_options(gtest PRIVATE -Wno-restrict)

# The win32 toolchain's thread model has no std::mutex, on which GoogleTest's
# Notification is built: every user of gtest gets a replacement first.
if(KESTRANA_WIN32)
  target_compile_options(gtest PUBLIC "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/gtest_notification.h")
endif()
