// The version history, in an editable box whose edits are dropped on close.
#pragma once

#include "platform/window_layout.h"

namespace kestrana {

namespace changelog_ctl {
enum : int { 确定 = 1, 编辑框1 };
}

// CR LF between the lines, none after the last.
extern const char kChangeLogText[];

extern const WindowLayout ChangeLogWindow;

}  // namespace kestrana
