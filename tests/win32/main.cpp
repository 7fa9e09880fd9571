// The Win32 test program. Every text of the program is GBK: under any other
// ANSI code page the comparisons would fail for the wrong reason, so that
// is refused up front with a message saying what is wrong.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  const UINT codePage = GetACP();
  if (codePage != 936) {
    std::fprintf(stderr,
                 "kestrana_win32_tests: the ANSI code page is %u, expected 936 (GBK); "
                 "run under the zh_CN.UTF-8 locale through scripts/wine-session.sh\n",
                 codePage);
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
