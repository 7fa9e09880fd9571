// A stand-in for a system library, planted beside a copy of the program by
// the library-search case under the name of the library it poses as. It
// exports nothing. When a process loads it, it leaves a marker beside
// itself, "<its own path>.loaded", holding the path of that process: the
// case looks for the marker, since a library without the real exports can
// make the loader end the process before anything else would show.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 16] = {};
  const DWORD length = GetModuleFileNameA(self, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcatA(marker, ".loaded");
  char loader[MAX_PATH + 1] = {};
  const DWORD loaderLength = GetModuleFileNameA(nullptr, loader, MAX_PATH);
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, loader, loaderLength, &written, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}
