#include "info/changelog_window.h"

#include "platform/platform.h"

namespace kestrana {

const char kChangeLogText[] =
    "-------------------------\r\n"
    "V1.1——2020.08.01\r\n"
    "-------------------------\r\n"
    "1、上一版本的软件界面文案有误会误导使用者，现予以修正。\r\n"
    "\r\n"
    "-------------------------\r\n"
    "V1.0——2020.07.31\r\n"
    "-------------------------\r\n"
    "1、软件正式发布。";

namespace {

using namespace changelog_ctl;

constexpr ControlLayout kControls[] = {
    {.id = 确定, .name = "确定", .kind = ControlKind::PushButton,
     .left = 147, .top = 177, .width = 80, .height = 32, .text = "确定", .tabStop = true},
    {.id = 编辑框1, .name = "编辑框1", .kind = ControlKind::EditBox,
     .left = 22, .top = 15, .width = 330, .height = 150, .text = kChangeLogText, .tabStop = true},
};

constexpr Binding kBindings[] = {
    {确定, Event::Clicked, [] { closeWindow(ChangeLogWindow); }},
};

}  // namespace

constinit const WindowLayout ChangeLogWindow = makeWindow(
    "更新日志", 380, 250, Frame{.resizable = true, .toolWindow = true, .minimizeBox = true}, kControls,
    kBindings);

}  // namespace kestrana
