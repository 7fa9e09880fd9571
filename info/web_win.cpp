#include <windows.h>

#include "info/web.h"
#include "platform/system_libraries_win.h"

namespace kestrana {

void openWebAddress(const char* address) {
  // A browser window of that exact title, when there is one, owns the request.
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  shellExecute(owner, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kestrana
