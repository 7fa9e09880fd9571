// The parts of the window layer only the start-up and the tests use.
#pragma once

#include <windows.h>

#include "platform/window_layout.h"

namespace kestrana {

// Steps of loadWindow without the dialog part: create hidden, run the
// created handler, show. False when the window could not be created.
bool openStartWindow(const WindowLayout& window);

// Runs the program's message loop until the last window is gone (or a quit
// message arrives) and returns the quit code.
int runMessageLoop();

// The window's handle while it is open, else nullptr.
HWND windowHandle(const WindowLayout& window);
// A control's handle while its window is open, else nullptr.
HWND controlHandle(const WindowLayout& window, int control);

// The program icon, loaded once at each size from the DEFAULT_ICON group.
HICON programIcon(bool large);

}  // namespace kestrana
