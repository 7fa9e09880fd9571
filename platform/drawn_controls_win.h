// The control kinds the program draws itself (TransLabel, PicBox), as the
// window builder sees them. The builder owns this declaration and ui/
// implements it, so that platform/ depends on nothing above it.
#pragma once

#include <windows.h>

#include "platform/window_layout.h"

namespace kestrana {

// Sent by a program-drawn control to its parent when the left mouse button
// goes down over it: wParam is the control id, lParam the client position.
inline constexpr UINT kControlMouseDown = WM_APP + 0x66;
// Sent to a PicBox: wParam the byte count, lParam the bytes. The box keeps a copy.
inline constexpr UINT kPicBoxSetPicture = WM_APP + 0x67;

// Registers the drawn controls' classes once; false when that failed.
bool registerDrawnControls(HINSTANCE instance);

// Creates a control of either kind; the layout must outlive the control.
HWND createDrawnControl(HWND parent, const ControlLayout& layout, HINSTANCE instance);

}  // namespace kestrana
