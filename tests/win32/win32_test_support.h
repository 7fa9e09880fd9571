// Small helpers the Win32 cases share: reading texts back from windows in a
// form that prints readably (the program's texts are GBK bytes), and
// running the message queue with a bound.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrana_test {

// GBK bytes shown as UTF-8 followed by their hex bytes, so that two texts
// compare equal exactly when their bytes do and a mismatch reads well.
std::string shown(std::string_view gbk);

// The window text through WM_GETTEXT with a time limit (the same path a
// screen reader takes); "<no answer>" when the window does not reply.
std::string windowText(HWND hwnd);

std::string className(HWND hwnd);

// The direct children of a window from top to bottom of the stacking order.
std::vector<HWND> childrenInStackingOrder(HWND parent);

// Dispatches whatever is queued now, without waiting.
void pumpPending();

// Removes a quit request left behind by a window that ended the loop.
void dropQuitMessage();

// Pumps messages until the condition holds or the time is up.
bool pumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Top-level windows of this process with the given class.
std::vector<HWND> processWindows(const char* cls);

}  // namespace kestrana_test
