// The two control kinds the program draws itself. Both are child windows
// whose window text is their text, so accessibility tools can read them.
// The window builder reaches them through platform/drawn_controls_win.h.
#pragma once

#include <windows.h>

#include "platform/drawn_controls_win.h"

namespace kestrana {

inline constexpr char kTransLabelClass[] = "KestranaTransLabel";
inline constexpr char kPicBoxClass[] = "KestranaPicBox";

}  // namespace kestrana
