#include <windows.h>

#include "info/web.h"

namespace kestrana {

namespace {

using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

// shell32 is loaded when an address is first opened, not with the
// program: most runs never open one, and loading it (with shcore and
// shlwapi) would cost every start. It is named by its full path in the
// system folder.
ShellExecuteFn shellExecute() {
  static ShellExecuteFn function = nullptr;
  if (function) return function;
  char path[MAX_PATH];
  constexpr char kName[] = "\\shell32.dll";
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + sizeof kName > MAX_PATH) return nullptr;
  lstrcpyA(path + length, kName);
  if (HMODULE shell = LoadLibraryA(path)) {
    function = reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteA")));
  }
  return function;
}

}  // namespace

void openWebAddress(const char* address) {
  // A browser window of that exact title, when there is one, owns the request.
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  // Without the shell the request does nothing, as a failed one would.
  if (ShellExecuteFn open = shellExecute()) open(owner, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kestrana
