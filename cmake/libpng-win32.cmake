# libpng for the program: built from Debian's source package for this
# build's architecture, read only (cmake/libpng-read.dfa), and cached under
# build/deps/libpng-<processor>; linked statically with zlib from
# libz-mingw-w64-dev. The build script returns at once when the cached build
# matches its configuration.
set(KESTRANA_LIBPNG_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/libpng-${CMAKE_SYSTEM_PROCESSOR}" CACHE PATH
  "libpng for this Windows build")
execute_process(
  COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-libpng.sh" "${KESTRANA_LIBPNG_PREFIX}"
          "${CMAKE_TOOLCHAIN_FILE}" "${KESTRANA_TRIPLE}"
  RESULT_VARIABLE libpng_result)
if(NOT libpng_result EQUAL 0)
  message(FATAL_ERROR "building libpng for ${KESTRANA_TRIPLE} failed")
endif()
# A changed configuration is built again at the next configure.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/scripts/build-libpng.sh" "${CMAKE_SOURCE_DIR}/cmake/libpng-read.dfa")
add_library(kestrana_png INTERFACE)
target_include_directories(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/include")
target_link_libraries(kestrana_png INTERFACE "${KESTRANA_LIBPNG_PREFIX}/lib/libpng16.a"
  "${CMAKE_FIND_ROOT_PATH}/lib/libz.a")
