# Registers every GoogleTest case of a Windows test program as its own CTest
# test, run under Wine with a time limit. The cases are found by reading the
# sources, since the program cannot be run at build time to list them.
# OWN_PREFIX runs each case in a Wine prefix of its own, for cases that end
# every windowed process of the prefix they run in. Each case is registered
# once for each way the build runs (KESTRANA_WINE_SUITES: the 64-bit build
# in a 64-bit prefix; the 32-bit build in a 32-bit prefix and under WOW64,
# in a 64-bit one), named PREFIX32., PREFIX64. or PREFIXwow64., and carries
# that way in KESTRANA_ARCH and a label: "wine" for the build's own prefix,
# "wow64" for the third.
#   TIMEOUT   seconds a case may take (default 60)
#   LIMITS    Suite.Case=SECONDS for the cases that may take longer
# The limit is kept by scripts/wine-exec.sh, which ends a case that runs
# over it together with every Wine process it started, and fails it; under
# the emulator it makes the limit longer by the factor scripts/wine-env.sh
# holds, when the case runs. ctest's own timeout, later by a margin, is only
# a backstop: it kills the script outright, and a killed script cleans up
# nothing. It must outlast the longest the limit can be, so it takes that
# factor too.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh KESTRANA_EMULATION_FACTOR
  REGEX "^kestrana_emulation_factor=[0-9]+$")
string(REGEX REPLACE "^.*=" "" KESTRANA_EMULATION_FACTOR "${KESTRANA_EMULATION_FACTOR}")
if(NOT KESTRANA_EMULATION_FACTOR)
  message(FATAL_ERROR "scripts/wine-env.sh names no kestrana_emulation_factor")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh)
function(kestrana_add_wine_gtests target)
  cmake_parse_arguments(ARG "OWN_PREFIX" "TIMEOUT;PREFIX" "SOURCES;LIMITS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  # The margin covers what the script does around the case: ending it, and
  # for a prefix of its own, making that prefix (wineboot has 180 s) and
  # removing it.
  if(ARG_OWN_PREFIX)
    set(margin 240)
  else()
    set(margin 30)
  endif()
  foreach(source IN LISTS ARG_SOURCES)
    file(READ "${source}" content)
    string(REGEX MATCHALL "TEST(_F)?\\([ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*,[ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*\\)" cases "${content}")
    foreach(case IN LISTS cases)
      string(REGEX REPLACE "TEST(_F)?\\([ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*,[ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*\\)" "\\2.\\3" name "${case}")
      set(limit ${ARG_TIMEOUT})
      foreach(entry IN LISTS ARG_LIMITS)
        if(entry MATCHES "^${name}=([0-9]+)$")
          set(limit ${CMAKE_MATCH_1})
        endif()
      endforeach()
      set(command bash ${CMAKE_SOURCE_DIR}/scripts/wine-exec.sh --limit ${limit}
        $<TARGET_FILE:${target}> --gtest_filter=${name})
      if(ARG_OWN_PREFIX)
        list(PREPEND command bash ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)
      endif()
      math(EXPR backstop "(${limit} + ${margin}) * ${KESTRANA_EMULATION_FACTOR}")
      foreach(suite IN LISTS KESTRANA_WINE_SUITES)
        string(REGEX REPLACE "^win" "" suffix ${suite})
        if(suite STREQUAL "wow64")
          set(label wow64)
        else()
          set(label wine)
        endif()
        add_test(NAME ${ARG_PREFIX}${suffix}.${name} COMMAND ${command})
        set_tests_properties(${ARG_PREFIX}${suffix}.${name} PROPERTIES TIMEOUT ${backstop} RUN_SERIAL TRUE
          # A case Wine cannot carry out says so instead of counting as passed.
          SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] [1-9]"
          # A driver killed mid-case, or a filter that matches nothing, still
          # exits 0: only the case's own report of success counts.
          PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\."
          FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
          LABELS ${label} ENVIRONMENT KESTRANA_ARCH=${suite})
      endforeach()
    endforeach()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_SOURCES})
endfunction()
