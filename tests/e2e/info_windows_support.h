// Small helpers for the About and change-log cases: messages with a time
// limit, the mouse cursor the system shows and pixel counts over a
// screenshot.
#pragma once

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "driver.h"

namespace e2e::info {

// A message sent across to the program, answered within two seconds, or
// nullopt when it was not answered.
inline std::optional<LRESULT> sendWithin(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result)) return std::nullopt;
  return static_cast<LRESULT>(result);
}

// EM_GETSEL as (start, end); (-1, -1) when the box does not answer.
inline std::pair<long, long> editSelection(HWND edit) {
  const auto r = sendWithin(edit, EM_GETSEL);
  if (!r) return {-1, -1};
  return {static_cast<long>(LOWORD(*r)), static_cast<long>(HIWORD(*r))};
}

// Posts WM_SYSCOMMAND SC_CLOSE, as the system menu's close item does.
inline void postSystemMenuClose(HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// A left-button press alone, with no release after it.
inline void postButtonDown(HWND control, POINT clientPoint = POINT{4, 4}) {
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(clientPoint.x, clientPoint.y));
}

// Moves the real mouse to a screen point (SetCursorPos, then a relative
// move of zero through SendInput so that the window below gets the mouse
// messages) and returns the cursor the system then shows.
inline HCURSOR cursorShownAt(POINT screen, DWORD settleMs = 250) {
  SetCursorPos(screen.x, screen.y);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &in, sizeof in);
  Sleep(settleMs);
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info)) return nullptr;
  return info.hCursor;
}

inline POINT centreOnScreen(HWND control) {
  const RECT r = outerRect(control);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Parks the mouse where no window of the program lies.
inline void parkMouse() { cursorShownAt(POINT{2, 2}, 100); }

inline std::string hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(v));
  return buf;
}

inline std::string describeText(const std::string& s) {
  std::ostringstream out;
  out << "[" << s.size() << " bytes] \"";
  for (unsigned char c : s) {
    if (c == '\r') out << "\\r";
    else if (c == '\n') out << "\\n";
    else if (c == '\t') out << "\\t";
    else out << static_cast<char>(c);
  }
  out << "\"";
  return out.str();
}

// ---------------------------------------------------------------- pixels

inline bool isBlueInk(Pixel p) { return p.b >= 160 && p.r <= 110 && p.g <= 110; }
inline bool isRedInk(Pixel p) { return p.r >= 160 && p.g <= 110 && p.b <= 110; }

// How many pixels of the capture rectangle (capture coordinates, clipped)
// satisfy the predicate.
inline int countPixels(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred) {
  int n = 0;
  for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, c.height()); ++y) {
    for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, c.width()); ++x) {
      if (pred(c.at(x, y))) ++n;
    }
  }
  return n;
}

// Where ink of one kind lies inside a rectangle, and the longest horizontal
// run of it: an underline shows as a run nearly as wide as the text, on one
// of the text's lowest rows.
struct InkLayout {
  int count = 0;
  RECT bounds{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};  // of the ink, capture coordinates
  int longestRun = 0;
  LONG longestRunRow = -1;
};

inline InkLayout inkLayout(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred) {
  InkLayout ink;
  for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, c.height()); ++y) {
    int run = 0;
    for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, c.width()); ++x) {
      if (!pred(c.at(x, y))) {
        run = 0;
        continue;
      }
      ++ink.count;
      ink.bounds.left = std::min(ink.bounds.left, x);
      ink.bounds.top = std::min(ink.bounds.top, y);
      ink.bounds.right = std::max(ink.bounds.right, x + 1);
      ink.bounds.bottom = std::max(ink.bounds.bottom, y + 1);
      if (++run > ink.longestRun) {
        ink.longestRun = run;
        ink.longestRunRow = y;
      }
    }
  }
  return ink;
}

}  // namespace e2e::info
