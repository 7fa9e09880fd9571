// Libraries planted beside the program. A copy of it lies in a folder of its
// own with stand-ins for the libraries it loads itself (shell32, ole32,
// comctl32), and Wine is told to prefer a copy found on the search path to
// its own for that program. Driven through every window and the forum link,
// the program must load none of them: each would run with the rights of
// the administrator who started it.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"

namespace {

using namespace e2e;

constexpr const char* kPlantedLibraries[] = {"shell32", "ole32", "comctl32"};
constexpr char kOkText[] = "确定";

std::string lower(std::string text) {
  CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Where the program's system libraries must come from, and why there: the
// system folder; for a 32-bit program on 64-bit Windows (WOW64) the 32-bit
// one, SysWOW64, to which its System32 is redirected (this driver is of the
// program's architecture, so it is under WOW64 exactly when the program is).
struct SystemFolder {
  std::string path;
  const char* why;
};
SystemFolder systemFolder() {
  char path[MAX_PATH + 1] = {};
  if (underWow64()) {
    GetSystemWow64DirectoryA(path, MAX_PATH);
    return {path, "the 32-bit system folder, to which System32 is redirected for a 32-bit program under WOW64"};
  }
  GetSystemDirectoryA(path, MAX_PATH);
  return {path, "the system folder"};
}

// Whether two paths, as this process opens them, name one file. A module's
// path under WOW64 names System32 on Wine and SysWOW64 on Windows: opened
// by a process of the same kind, both lead to the same file.
bool sameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    HANDLE file = CreateFileA(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL got = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!got) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// A folder of its own in the temp folder holding a copy of the program and
// the stand-ins; it goes, with whatever the stand-ins left, at the end.
class PlantedFolder {
 public:
  explicit PlantedFolder(Where where = Where::current()) {
    folder_ = tempFileName("kestrana-planted");
    folder_.resize(folder_.rfind('.'));
    if (!CreateDirectoryA(folder_.c_str(), nullptr)) {
      KESTRANA_FAIL_AT(where) << "cannot create " << folder_ << ", error " << GetLastError();
      return;
    }
    ready_ = copy(programPath(), program(), where);
    for (const char* library : kPlantedLibraries) {
      ready_ = copy(windowsPathOf(KESTRANA_PLANTED_DIR) + "\\" + library + ".dll", libraryPath(library), where) &&
               ready_;
    }
  }
  ~PlantedFolder() {
    for (const char* library : kPlantedLibraries) {
      DeleteFileA(libraryPath(library).c_str());
      DeleteFileA((libraryPath(library) + ".loaded").c_str());
    }
    DeleteFileA(program().c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  PlantedFolder(const PlantedFolder&) = delete;
  PlantedFolder& operator=(const PlantedFolder&) = delete;

  bool ready() const { return ready_; }
  const std::string& folder() const { return folder_; }
  // Named as the program, so that Wine's settings for it apply.
  std::string program() const { return folder_ + "\\Kestrana.exe"; }
  std::string libraryPath(const char* library) const { return folder_ + "\\" + library + ".dll"; }

  // "shell32.dll (by PROGRAM)" for every stand-in that has been loaded.
  std::string loaded() const {
    std::string out;
    for (const char* library : kPlantedLibraries) {
      HANDLE file = CreateFileA((libraryPath(library) + ".loaded").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) continue;
      char by[MAX_PATH + 1] = {};
      DWORD read = 0;
      ReadFile(file, by, MAX_PATH, &read, nullptr);
      CloseHandle(file);
      out += std::string(out.empty() ? "" : ", ") + library + ".dll (by " + std::string(by, read) + ")";
    }
    return out;
  }

 private:
  static bool copy(const std::string& from, const std::string& to, Where where) {
    if (CopyFileA(from.c_str(), to.c_str(), TRUE)) return true;
    KESTRANA_FAIL_AT(where) << "cannot copy " << from << " to " << to << ", error " << GetLastError();
    return false;
  }

  std::string folder_;
  bool ready_ = false;
};

class LibrarySearch : public ProgramTest {
 protected:
  // Goes after the fixture has ended the programs, so that no file of it is
  // still in use.
  PlantedFolder planted;
};

// Guards against a library search that still looks in the program's own
// folder for the libraries it loads after start-up.
TEST_F(LibrarySearch, LibrariesPlantedBesideTheProgramAreNeverLoaded) {
  ASSERT_TRUE(planted.ready());
  // The fixture removes the program's Wine settings, these with them.
  for (const char* library : kPlantedLibraries) {
    ASSERT_EQ(writeValue(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\DllOverrides", library, REG_SZ,
                         stringBytes("native,builtin")),
              ERROR_SUCCESS);
  }
  ASSERT_TRUE(setStartValue(3));
  const ShellControl control = shellControl(kForumAddress);
  HttpsRecorder recorder;

  programs_.push_back(std::make_unique<Program>());
  Program& program = *programs_.back();
  ASSERT_TRUE(program.startCommand(planted.program(), inQuotes(planted.program())));
  const MainWindowControls main = waitMainWindowControls(program);
  ASSERT_TRUE(main.complete()) << "loaded: " << planted.loaded();
  EXPECT_EQ(checkState(main.manual), BST_CHECKED) << describe(readChoices(main));

  pressButton(main.about);
  HWND about = program.waitWindow(kAboutCaption);
  ASSERT_TRUE(about) << "loaded: " << planted.loaded();
  HWND changeLogLink = childByText(about, kChangeLogCaption);
  HWND forumLink = childByText(about, kForumHost);
  HWND aboutOk = childByText(about, kOkText);
  ASSERT_TRUE(changeLogLink && forumLink && aboutOk) << "About controls missing";

  postClickAt(changeLogLink, POINT{4, 4});
  HWND changeLog = program.waitWindow(kChangeLogCaption);
  ASSERT_TRUE(changeLog) << "loaded: " << planted.loaded();
  HWND changeLogOk = childByText(changeLog, kOkText);
  ASSERT_TRUE(changeLogOk);
  pressButton(changeLogOk);
  ASSERT_TRUE(program.waitWindowGone(kChangeLogCaption));

  postClickAt(forumLink, POINT{4, 4});
  const std::vector<Record> records = waitRecords(recorder.file(), 1);
  EXPECT_EQ(records.size(), 1u) << "expected the forum address handed to the shell; loaded: " << planted.loaded();
  if (!records.empty()) {
    EXPECT_EQ(records[0].arguments, control.arguments)
        << "expected what the shell makes of the forum address got " << records[0].commandLine;
  }
  pressButton(aboutOk);
  ASSERT_TRUE(program.waitWindowGone(kAboutCaption));

  // Each library was loaded, from elsewhere: the common controls from the
  // side-by-side store, where the manifest sends a load by name, the others
  // from the system folder.
  const SystemFolder system = systemFolder();
  std::printf("system libraries expected from %s: %s\n", system.path.c_str(), system.why);
  const std::vector<std::string> modules = loadedModules(program.pid());
  for (const char* library : kPlantedLibraries) {
    SCOPED_TRACE(library);
    std::string found;
    for (const std::string& module : modules) {
      const std::string path = lower(module);
      if (path.ends_with(std::string("\\") + library + ".dll")) found = path;
    }
    EXPECT_NE(found, "") << "expected the program to have loaded it; " << modules.size() << " modules";
    EXPECT_EQ(found.find(lower(planted.folder())), std::string::npos) << "loaded from " << found;
    if (std::string(library) == "comctl32") {
      EXPECT_NE(found.find("\\winsxs\\"), std::string::npos) << "expected version 6 from winsxs, got " << found;
    } else if (!found.empty()) {
      const std::string expected = system.path + "\\" + library + ".dll";
      EXPECT_TRUE(sameFile(found, expected)) << "loaded from " << found << ", not " << expected << ", " << system.why;
    }
  }

  postClose(main.window);
  program.expectExit(0);
  EXPECT_EQ(planted.loaded(), "") << "planted libraries were loaded";
}

}  // namespace
