// The Win32 test program. Every text of the program is GBK: under any other
// ANSI code page the comparisons would fail for the wrong reason, so that
// is refused up front with a message saying what is wrong.
#include <gtest/gtest.h>

#include "support/support.h"

int main(int argc, char** argv) {
  if (!kestrana_test::codePageIsGbk("kestrana_win32_tests")) return 2;
  if (!kestrana_test::runsAsItsSuiteSays("kestrana_win32_tests")) return 2;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
