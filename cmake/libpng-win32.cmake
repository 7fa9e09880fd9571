# libpng for the product: built once from Debian's source package for
# i686-w64-mingw32 and cached under build/, linked statically with zlib from
# libz-mingw-w64-dev.
set(KESTRANA_LIBPNG_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/libpng-i686" CACHE PATH "libpng for win32")
if(NOT EXISTS "${KESTRANA_LIBPNG_PREFIX}/lib/libpng16.a")
  execute_process(
    COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-libpng.sh" "${KESTRANA_LIBPNG_PREFIX}"
            "${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake"
    RESULT_VARIABLE libpng_result)
  if(NOT libpng_result EQUAL 0)
    message(FATAL_ERROR "building libpng for win32 failed")
  endif()
endif()
add_library(kestrana_png INTERFACE)
target_include_directories(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/include")
target_link_libraries(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/lib/libpng16.a"
  "${CMAKE_FIND_ROOT_PATH}/lib/libz.a")
