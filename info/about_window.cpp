#include "info/about_window.h"

#include "assets/version.h"
#include "info/changelog_window.h"
#include "info/logo.h"
#include "info/web.h"
#include "platform/platform.h"

namespace kestrana {

namespace {

using namespace about_ctl;

constexpr ControlLayout kControls[] = {
    {.id = ChangeLog, .name = "ChangeLog", .kind = ControlKind::TransLabel,
     .left = 8, .top = 148, .width = 56, .height = 24, .text = "更新日志",
     .color = kBlue, .font = FontKind::LabelUnderlined, .handCursor = true},
    {.id = 图片框1, .name = "图片框1", .kind = ControlKind::PicBox,
     .left = 16, .top = 40, .width = 100, .height = 100, .text = ""},
    {.id = 与我联系, .name = "与我联系", .kind = ControlKind::PushButton,
     .left = 232, .top = 148, .width = 80, .height = 32, .text = "与我联系(&C)", .tabStop = true},
    {.id = 确定, .name = "确定", .kind = ControlKind::PushButton,
     .left = 320, .top = 148, .width = 80, .height = 32, .text = "确定", .tabStop = true},
    {.id = Quorvel论坛欢迎您, .name = "Quorvel论坛欢迎您", .kind = ControlKind::TransLabel,
     .left = 160, .top = 112, .width = 120, .height = 24, .text = "Quorvel论坛欢迎您："},
    {.id = 论坛链接, .name = "论坛链接", .kind = ControlKind::TransLabel,
     .left = 285, .top = 112, .width = 120, .height = 24, .text = kForumHost,
     .color = kBlue, .font = FontKind::LabelUnderlined, .handCursor = true},
    {.id = 透明标签4, .name = "透明标签4", .kind = ControlKind::TransLabel,
     .left = 136, .top = 80, .width = 264, .height = 32, .text = "",
     .color = kRed, .font = FontKind::Label, .valign = VAlign::Top, .wordWrap = true},
    {.id = 透明标签3, .name = "透明标签3", .kind = ControlKind::TransLabel,
     .left = 156, .top = 56, .width = 112, .height = 16, .text = kAuthorCredit, .align = HAlign::Center},
    {.id = 透明标签2, .name = "透明标签2", .kind = ControlKind::TransLabel,
     .left = 186, .top = 33, .width = 52, .height = 16, .text = KESTRANA_VERSION_SHORT,
     .align = HAlign::Center},
    {.id = 透明标签1, .name = "透明标签1", .kind = ControlKind::TransLabel,
     .left = 154, .top = 8, .width = 116, .height = 24, .text = KESTRANA_PRODUCT_NAME},
};

void onCreated() { setPicture(AboutWindow, 图片框1, kLogoPng, kLogoPngSize); }

void onLogoPressed() {
  showMessageBox(
      "本logo为作者亲自手绘的图！不存在侵权行为，未经本人允许，任何人也不可以拿这张图进行商业盈利活动！",
      kMbOk | kMbIconWarning, "这张图不侵权！");
}

void onContact() {
  const std::int32_t answer = showMessageBox(
      "联系我需要登录Quorvel论坛账号，然后给我发站内信。\r\n"
      "发送站内信的时候请遵守论坛版规，禁止留QQ、微信等联系方式，对利用私信留联系方式的行为将从重处罚！",
      kMbYesNo | kMbIconWarning, "提示");
  if (answer == kAnswerYes) openWebAddress(kProfileAddress);
}

constexpr Binding kBindings[] = {
    {kWindowItself, Event::Created, onCreated},
    {ChangeLog, Event::MouseDown, [] { loadWindow(ChangeLogWindow, true); }},
    {图片框1, Event::MouseDown, onLogoPressed},
    {与我联系, Event::Clicked, onContact},
    {确定, Event::Clicked, [] { closeWindow(AboutWindow); }},
    {论坛链接, Event::MouseDown, [] { openWebAddress(kForumAddress); }},
};

}  // namespace

constinit const WindowLayout AboutWindow =
    makeWindow("关于", 430, 230, Frame{.resizable = true, .toolWindow = true}, kControls, kBindings);

void openAboutWindow() { loadWindow(AboutWindow, true); }

}  // namespace kestrana
