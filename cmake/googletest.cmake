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

if(KESTRANA_WIN32)
  # The Windows the test programs are built for. GoogleTest includes <mutex>
  # and <condition_variable>, whose types the win32 thread model of GCC 13
  # and later declares only for Vista and later; GoogleTest and whatever
  # includes its headers are built for the same.
  set(KESTRANA_TEST_DEFINITIONS WINVER=0x0600 _WIN32_WINNT=0x0600)
  target_compile_definitions(gtest PUBLIC ${KESTRANA_TEST_DEFINITIONS})
  # GoogleTest's Notification is built on std::mutex and
  # std::condition_variable, which the win32 thread model of older GCC lacks
  # at any Windows version. Where they are missing, gtest and every user of
  # it get a replacement first; where they are there, GoogleTest's own.
  include(CheckCXXSourceCompiles)
  list(TRANSFORM KESTRANA_TEST_DEFINITIONS PREPEND -D OUTPUT_VARIABLE CMAKE_REQUIRED_DEFINITIONS)
  check_cxx_source_compiles([[
    #include <condition_variable>
    #include <mutex>
    int main() {
      std::mutex m;
      std::condition_variable ready;
      std::unique_lock<std::mutex> lock(m);
      ready.notify_all();
      return 0;
    }]] KESTRANA_HAVE_STD_CONDITION_VARIABLE)
  unset(CMAKE_REQUIRED_DEFINITIONS)
  if(NOT KESTRANA_HAVE_STD_CONDITION_VARIABLE)
    target_compile_options(gtest PUBLIC "SHELL:-include \"${CMAKE_CURRENT_LIST_DIR}/gtest_notification.h\"")
  endif()
endif()
