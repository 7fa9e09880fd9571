// What the hand-written main window and About window share.
#pragma once

#include <windows.h>

// A label drawn by its own class over its parent's background.
struct Label {
  COLORREF color;
  HFONT font;  // nullptr: the default GUI font
  UINT format;  // DrawText flags
  bool hand;  // hand cursor over it
};

inline constexpr char kLabelClass[] = "HandLabel";

LRESULT CALLBACK labelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A top-level window class with the program icon (large and small), the
// arrow and the face colour.
void registerFrameClass(HINSTANCE instance, const char* name, WNDPROC proc);
// A visible child window in the default GUI font.
HWND child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id,
           const void* param = nullptr);
// The emphasised labels' font: 12 pixels, bold.
HFONT boldFont(bool underline);
// The About button: shows the About window and returns when it has closed.
void openAbout(HWND owner);
