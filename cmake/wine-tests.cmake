# Registers every GoogleTest case of a Windows test program as its own CTest
# test, run under Wine with a time limit. The cases are found by reading the
# sources, since the program cannot be run at build time to list them.
# OWN_PREFIX runs each case in a Wine prefix of its own, for cases that end
# every windowed process of the prefix they run in. Each case carries the
# label "wine" and the architecture its Wine commands must use.
function(kestrana_add_wine_gtests target)
  cmake_parse_arguments(ARG "OWN_PREFIX" "TIMEOUT;PREFIX" "SOURCES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  foreach(source IN LISTS ARG_SOURCES)
    file(READ "${source}" content)
    string(REGEX MATCHALL "TEST(_F)?\\([ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*,[ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*\\)" cases "${content}")
    foreach(case IN LISTS cases)
      string(REGEX REPLACE "TEST(_F)?\\([ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*,[ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*\\)" "\\2.\\3" name "${case}")
      set(command ${CMAKE_SOURCE_DIR}/scripts/wine-exec.sh $<TARGET_FILE:${target}> --gtest_filter=${name})
      if(ARG_OWN_PREFIX)
        list(PREPEND command ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)
      endif()
      add_test(NAME ${ARG_PREFIX}${name} COMMAND ${command})
      set_tests_properties(${ARG_PREFIX}${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} RUN_SERIAL TRUE
        # A case Wine cannot carry out says so instead of counting as passed.
        SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] [1-9]"
        # A driver killed mid-case, or a filter that matches nothing, still
        # exits 0: only the case's own report of success counts.
        PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\."
        FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
        LABELS wine ENVIRONMENT KESTRANA_ARCH=win${KESTRANA_BITS})
    endforeach()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_SOURCES})
endfunction()
