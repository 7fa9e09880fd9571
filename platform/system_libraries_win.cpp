// The library search, and the libraries the program loads itself once the
// search is narrowed. Each library is loaded once, on first use (shell32
// only when an address is opened); its functions are looked up each time,
// which costs next to nothing beside what they do.
#include "platform/system_libraries_win.h"

#include <commctrl.h>

namespace kestrana {

namespace {

// Not in the XP headers the program is built against.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x800;

// True once the search is limited to the system folder. Until then (and
// for good where Windows cannot limit it) the program's own folder is
// searched before the system folder.
bool searchIsSystemOnly = false;

// FARPROC to the function's own type, by way of void (*)(), the one function
// pointer type that -Wcast-function-type takes as holding any other.
template <typename Function>
Function functionCast(FARPROC function) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

template <typename Function>
Function kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("KERNEL32.DLL");
  if (!kernel32) return nullptr;
  return functionCast<Function>(GetProcAddress(kernel32, name));
}

struct Library {
  const char* name;
  // Only a load by bare name goes through the manifest, which redirects the
  // common controls to version 6 in the side-by-side store; the system
  // folder holds version 5 of them.
  bool byNameOnly;
  bool tried;
  HMODULE module;
};

Library ole32{"ole32.dll", false, false, nullptr};
Library shell32{"shell32.dll", false, false, nullptr};
Library comctl32{"comctl32.dll", true, false, nullptr};

HMODULE loadFromSystemFolder(const char* name) {
  char path[MAX_PATH + 1] = {};
  const UINT folder = GetSystemDirectoryA(path, MAX_PATH);
  const int nameLength = lstrlenA(name);
  if (folder == 0 || folder + 1 + nameLength > MAX_PATH) return nullptr;
  path[folder] = '\\';
  lstrcpynA(path + folder + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}

HMODULE moduleOf(Library& library) {
  if (!library.tried) {
    library.tried = true;
    // Where the program's folder is still searched, a bare name could find a
    // planted copy there: the full path cannot.
    library.module = searchIsSystemOnly || library.byNameOnly ? LoadLibraryA(library.name)
                                                              : loadFromSystemFolder(library.name);
  }
  return library.module;
}

template <typename Function>
Function functionOf(Library& library, const char* name) {
  HMODULE module = moduleOf(library);
  if (!module) return nullptr;
  return functionCast<Function>(GetProcAddress(module, name));
}

}  // namespace

void restrictLibrarySearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);
  if (const auto limit = kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories")) {
    searchIsSystemOnly = limit(kLoadLibrarySearchSystem32) != FALSE;
    if (searchIsSystemOnly) return;
  }
  if (const auto setDirectory = kernel32Function<SetDllDirectoryAFn>("SetDllDirectoryA")) setDirectory("");
}

bool initializeOle() {
  using OleInitializeFn = HRESULT(WINAPI*)(LPVOID);
  const auto oleInitialize = functionOf<OleInitializeFn>(ole32, "OleInitialize");
  return oleInitialize && SUCCEEDED(oleInitialize(nullptr));
}

void uninitializeOle() {
  using OleUninitializeFn = void(WINAPI*)();
  const auto oleUninitialize = functionOf<OleUninitializeFn>(ole32, "OleUninitialize");
  if (oleUninitialize) oleUninitialize();
}

bool initCommonControls(DWORD classes) {
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto initCommonControlsEx = functionOf<InitCommonControlsExFn>(comctl32, "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX args{sizeof args, classes};
  return initCommonControlsEx && initCommonControlsEx(&args) != FALSE;
}

HINSTANCE shellExecute(HWND owner, const char* operation, const char* file, const char* parameters,
                       const char* directory, int show) {
  using ShellExecuteAFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
  const auto shellExecuteA = functionOf<ShellExecuteAFn>(shell32, "ShellExecuteA");
  if (!shellExecuteA) return nullptr;
  return shellExecuteA(owner, operation, file, parameters, directory, show);
}

}  // namespace kestrana
