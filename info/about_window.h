// What the tool is and who made it: logo, version, credit, the forum link,
// the change-log link and the contact prompt.
#pragma once

#include "platform/window_layout.h"

namespace kestrana {

namespace about_ctl {
enum : int {
  ChangeLog = 1, 图片框1, 与我联系, 确定, Quorvel论坛欢迎您, 论坛链接, 透明标签4, 透明标签3, 透明标签2, 透明标签1
};
}

extern const WindowLayout AboutWindow;

// The main window's About button: opens the window as a dialog and returns
// when it has closed.
void openAboutWindow();

}  // namespace kestrana
