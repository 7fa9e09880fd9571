// The program's start window: the three start-mode choices, the heading,
// the notice and the About, Exit and Apply buttons.
#pragma once

#include "platform/window_layout.h"

namespace kestrana {

namespace main_ctl {
enum : int { 透明标签1 = 1, 透明标签2, 关于, 退出, 确定, 禁用, 自动, 手动 };
}

extern const WindowLayout MainWindow;

}  // namespace kestrana
