// Start-up: the library search, COM, the working directory, the start
// window and the loop.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "platform/platform.h"
#include "platform/system_libraries_win.h"
#include "platform/text.h"
#include "platform/windows_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a library by name.
  kestrana::restrictLibrarySearch();
  using namespace kestrana;
  const bool ole = initializeOle();

  // The working directory is the program's own folder. The search for the
  // last backslash reads the path as double-byte text.
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    path[folderOfPath(path).size()] = '\0';
    SetCurrentDirectoryA(path);
  }

  initCommonControls(ICC_STANDARD_CLASSES);

  if (!openStartWindow(MainWindow)) {
    showMessageBox("运行时出错!\r\n\r\n错误信息：载入启动窗口失败", kMbOk | kMbIconError, "错误");
    if (ole) uninitializeOle();
    return -1;
  }
  runMessageLoop();
  if (ole) uninitializeOle();
  return 0;
}
