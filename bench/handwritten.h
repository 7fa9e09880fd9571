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
// The emphasised labels' font: 12 pixels, bold.
HFONT boldFont(bool underline);
// The About button: shows the About window and returns when it has closed.
void openAbout(HWND owner);
