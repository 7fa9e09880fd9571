# libpng for the product: built from Debian's source package for
# i686-w64-mingw32, read only (cmake/libpng-read.dfa), and cached under
# build/; linked statically with zlib from libz-mingw-w64-dev. The build
# script returns at once when the cached build matches its configuration.
set(KESTRANA_LIBPNG_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/libpng-i686" CACHE PATH "libpng for win32")
execute_process(
  COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-libpng.sh" "${KESTRANA_LIBPNG_PREFIX}"
          "${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake"
  RESULT_VARIABLE libpng_result)
if(NOT libpng_result EQUAL 0)
  message(FATAL_ERROR "building libpng for win32 failed")
endif()
# A changed configuration is built again at the next configure.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/scripts/build-libpng.sh" "${CMAKE_SOURCE_DIR}/cmake/libpng-read.dfa")
add_library(kestrana_png INTERFACE)
target_include_directories(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/include")
target_link_libraries(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/lib/libpng16.a"
  "${CMAKE_FIND_ROOT_PATH}/lib/libz.a")
