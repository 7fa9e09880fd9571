// The library search after start-up's first step, inside this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/system_libraries_win.h"
#include "support/support.h"

namespace {

using kestrana_test::ownPath;

std::string ownFolder() { return ownPath().substr(0, ownPath().rfind('\\')); }

// Guards against a restriction that leaves the program's own folder on the
// search: a library lying there is found by its name before the restriction
// and must not be after it.
TEST(LibrarySearch, RestrictionTakesTheProgramsOwnFolderOutOfTheSearch) {
  const std::string names[] = {"kestrana_planted_before.dll", "kestrana_planted_after.dll"};
  for (const std::string& name : names) {
    ASSERT_TRUE(CopyFileA(kestrana_test::windowsPathOf(KESTRANA_PLANTED_LIBRARY).c_str(), (ownFolder() + "\\" + name).c_str(), FALSE))
        << "cannot plant " << name << ", error " << GetLastError();
  }
  HMODULE before = LoadLibraryA(names[0].c_str());
  kestrana::restrictLibrarySearch();
  HMODULE after = LoadLibraryA(names[1].c_str());
  EXPECT_NE(before, nullptr) << "the unrestricted search did not find the library beside the program";
  EXPECT_EQ(after, nullptr) << "after the restriction the search still found the library beside the program";
  if (before) FreeLibrary(before);
  if (after) FreeLibrary(after);
  for (const std::string& name : names) {
    DeleteFileA((ownFolder() + "\\" + name).c_str());
    DeleteFileA((ownFolder() + "\\" + name + ".loaded").c_str());
  }
}

}  // namespace
