#include "app/main_window.h"

#include "app/gate.h"
#include "assets/version.h"
#include "info/about_window.h"
#include "platform/platform.h"
#include "policy/start_mode.h"

namespace kestrana {

namespace {

using namespace main_ctl;

constexpr char kNotice[] =
    "注意：\r\n"
    "本工具通过修改注册表中的USBstor属性来实现USB接口开启关闭，一旦禁用，所有USB接口设备都无法使用，"
    "包括但不限于U盘、扫描仪、打印机等基于USB接口的设备，切记！\r\n"
    "2、来宾或其他低权限的身份无法设置USB接口运行状态，请以管理员身份运行此工具。\r\n";

constexpr ControlLayout kControls[] = {
    {.id = 透明标签1, .name = "透明标签1", .kind = ControlKind::TransLabel,
     .left = 16, .top = 16, .width = 312, .height = 24, .text = "请选择USB接口运行状态"},
    {.id = 透明标签2, .name = "透明标签2", .kind = ControlKind::TransLabel,
     .left = 24, .top = 163, .width = 296, .height = 101, .text = kNotice,
     .color = kRed, .font = FontKind::Label, .valign = VAlign::Top, .wordWrap = true},
    {.id = 关于, .name = "关于", .kind = ControlKind::PushButton,
     .left = 64, .top = 262, .width = 80, .height = 32, .text = "关于(&A)", .tabStop = true},
    {.id = 退出, .name = "退出", .kind = ControlKind::PushButton,
     .left = 256, .top = 262, .width = 80, .height = 32, .text = "退出(&X)", .tabStop = true},
    {.id = 确定, .name = "确定", .kind = ControlKind::PushButton,
     .left = 160, .top = 262, .width = 80, .height = 32, .text = "应用设置(&S)", .tabStop = true},
    {.id = 禁用, .name = "禁用", .kind = ControlKind::RadioBox,
     .left = 16, .top = 128, .width = 312, .height = 24, .text = "禁用", .tabStop = true},
    {.id = 自动, .name = "自动", .kind = ControlKind::RadioBox,
     .left = 16, .top = 56, .width = 312, .height = 24, .text = "自动启用", .tabStop = true},
    {.id = 手动, .name = "手动", .kind = ControlKind::RadioBox,
     .left = 16, .top = 92, .width = 312, .height = 24, .text = "手动启用", .tabStop = true},
};

// The start-mode choices are this window's three radio buttons.
constexpr StartModeChoices kChoices{MainWindow, 自动, 手动, 禁用};

void onCreated() {
  checkSystemVersion();
  showStartMode(kChoices);
}

constexpr Binding kBindings[] = {
    {kWindowItself, Event::Created, onCreated},
    {关于, Event::Clicked, openAboutWindow},
    {退出, Event::Clicked, [] { endProgram(0); }},
    {确定, Event::Clicked, [] { applyStartMode(kChoices); }},
};

}  // namespace

constinit const WindowLayout MainWindow =
    makeWindow(KESTRANA_PRODUCT_NAME, 350, 330, Frame{}, kControls, kBindings);

}  // namespace kestrana
