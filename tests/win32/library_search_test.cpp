// The library search after start-up's first step, inside this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/system_libraries_win.h"

namespace {

// A library of no system's, built by the tests, as a Windows path.
std::string plantedLibrary() {
  std::string path = "Z:" KESTRANA_PLANTED_LIBRARY;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ownFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.rfind('\\'));
}

// Guards against a restriction that leaves the program's own folder on the
// search: a library lying there is found by its name before the restriction
// and must not be after it.
TEST(LibrarySearch, RestrictionTakesTheProgramsOwnFolderOutOfTheSearch) {
  const std::string names[] = {"kestrana_planted_before.dll", "kestrana_planted_after.dll"};
  for (const std::string& name : names) {
    ASSERT_TRUE(CopyFileA(plantedLibrary().c_str(), (ownFolder() + "\\" + name).c_str(), FALSE))
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
