// The three window tables, row by row, and what each of their event
// bindings does against the fake platform.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_platform.h"
#include "info/about_window.h"
#include "info/changelog_window.h"
#include "info/logo.h"
#include "info/web.h"
#include "policy/start_mode.h"

namespace {

using namespace kestrana;
using test::Call;
using test::fake;
using test::ProgramEnded;
using test::utf8;

const char* kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton: return "PushButton";
    case ControlKind::RadioBox: return "RadioBox";
    case ControlKind::EditBox: return "EditBox";
    case ControlKind::TransLabel: return "TransLabel";
    case ControlKind::PicBox: return "PicBox";
  }
  return "?";
}

std::string rgb(Rgb c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

struct Row {
  int id;
  const char* name;
  ControlKind kind;
  int left, top, width, height;
  std::string text;
  bool tabStop;
  Rgb color = kBlack;
  FontKind font = FontKind::Default;
  HAlign align = HAlign::Left;
  VAlign valign = VAlign::Center;
  bool wordWrap = false;
  bool handCursor = false;
};

// Compares the window's controls with the expected rows in stacking order,
// field by field.
void expectControls(const WindowLayout& window, const std::vector<Row>& rows) {
  const std::string where = utf8(window.caption);
  ASSERT_EQ(rows.size(), window.controlCount) << where << ": expected " << rows.size() << " controls got "
                                              << window.controlCount;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& e = rows[i];
    const ControlLayout& g = window.controls[i];
    const std::string at = where + " control " + std::to_string(i) + " (" + utf8(e.name) + ")";
    EXPECT_EQ(e.id, g.id) << at << ": expected id " << e.id << " got " << g.id;
    EXPECT_STREQ(e.name, g.name) << at << ": expected name " << utf8(e.name) << " got " << utf8(g.name);
    EXPECT_EQ(e.kind, g.kind) << at << ": expected kind " << kindName(e.kind) << " got " << kindName(g.kind);
    EXPECT_EQ(e.left, g.left) << at << ": expected left " << e.left << " got " << g.left;
    EXPECT_EQ(e.top, g.top) << at << ": expected top " << e.top << " got " << g.top;
    EXPECT_EQ(e.width, g.width) << at << ": expected width " << e.width << " got " << g.width;
    EXPECT_EQ(e.height, g.height) << at << ": expected height " << e.height << " got " << g.height;
    EXPECT_EQ(e.text, std::string(g.text)) << at << ": expected text \"" << utf8(e.text) << "\" got \""
                                           << utf8(g.text) << "\"";
    EXPECT_EQ(e.tabStop, g.tabStop) << at << ": expected tab stop " << e.tabStop << " got " << g.tabStop;
    EXPECT_EQ(e.color, g.color) << at << ": expected colour " << rgb(e.color) << " got " << rgb(g.color);
    EXPECT_EQ(e.font, g.font) << at << ": expected font " << static_cast<int>(e.font) << " got "
                              << static_cast<int>(g.font);
    EXPECT_EQ(e.align, g.align) << at << ": expected alignment " << static_cast<int>(e.align) << " got "
                                << static_cast<int>(g.align);
    EXPECT_EQ(e.valign, g.valign) << at << ": expected vertical alignment " << static_cast<int>(e.valign)
                                  << " got " << static_cast<int>(g.valign);
    EXPECT_EQ(e.wordWrap, g.wordWrap) << at << ": expected word wrap " << e.wordWrap << " got " << g.wordWrap;
    EXPECT_EQ(e.handCursor, g.handCursor) << at << ": expected hand cursor " << e.handCursor << " got "
                                          << g.handCursor;
  }
}

void expectFrame(const WindowLayout& window, const char* caption, int width, int height, Frame frame) {
  const std::string where = utf8(caption);
  EXPECT_STREQ(caption, window.caption) << "expected caption \"" << where << "\" got \"" << utf8(window.caption)
                                        << "\"";
  EXPECT_EQ(width, window.width) << where << ": expected outer width " << width << " got " << window.width;
  EXPECT_EQ(height, window.height) << where << ": expected outer height " << height << " got " << window.height;
  EXPECT_EQ(frame.resizable, window.frame.resizable) << where << ": thick frame";
  EXPECT_EQ(frame.toolWindow, window.frame.toolWindow) << where << ": tool-window title bar";
  EXPECT_EQ(frame.minimizeBox, window.frame.minimizeBox) << where << ": minimize box";
  EXPECT_EQ(frame.maximizeBox, window.frame.maximizeBox) << where << ": maximize box";
}

// Guards against two controls sharing an id (findControl would find the
// wrong one) or an id of 0, which stands for the window itself.
TEST(WindowTables, ControlIdsAreUniqueAndNeverZero) {
  for (const WindowLayout* window : {&MainWindow, &AboutWindow, &ChangeLogWindow}) {
    std::set<int> seen;
    for (std::size_t i = 0; i < window->controlCount; ++i) {
      const int id = window->controls[i].id;
      EXPECT_NE(0, id) << utf8(window->caption) << " control " << i;
      EXPECT_TRUE(seen.insert(id).second) << utf8(window->caption) << ": id " << id << " used twice";
    }
  }
}

const char kNoticeLine1[] = "注意：";
const char kNoticeLine2[] =
    "本工具通过修改注册表中的USBstor属性来实现USB接口开启关闭，一旦禁用，所有USB接口设备都无法使用，包括但不限于U盘、"
    "扫描仪、打印机等基于USB接口的设备，切记！";
const char kNoticeLine3[] = "2、来宾或其他低权限的身份无法设置USB接口运行状态，请以管理员身份运行此工具。";

// Guards against a wrong caption, size or a frame the user could resize,
// minimise or maximise.
TEST(WindowTables, MainWindowFrame) {
  expectFrame(MainWindow, "Kestrana", 350, 330, Frame{});
}

// Guards against a control out of place, out of stacking order, with the
// wrong text, kind, look or tab stop.
TEST(WindowTables, MainWindowControls) {
  using namespace main_ctl;
  const std::string notice = std::string(kNoticeLine1) + "\r\n" + kNoticeLine2 + "\r\n" + kNoticeLine3 + "\r\n";
  const std::vector<Row> rows = {
      {透明标签1, "透明标签1", ControlKind::TransLabel, 16, 16, 312, 24, "请选择USB接口运行状态", false},
      {透明标签2, "透明标签2", ControlKind::TransLabel, 24, 163, 296, 101, notice, false, kRed, FontKind::Label,
       HAlign::Left, VAlign::Top, true},
      {关于, "关于", ControlKind::PushButton, 64, 262, 80, 32, "关于(&A)", true},
      {退出, "退出", ControlKind::PushButton, 256, 262, 80, 32, "退出(&X)", true},
      {确定, "确定", ControlKind::PushButton, 160, 262, 80, 32, "应用设置(&S)", true},
      {禁用, "禁用", ControlKind::RadioBox, 16, 128, 312, 24, "禁用", true},
      {自动, "自动", ControlKind::RadioBox, 16, 56, 312, 24, "自动启用", true},
      {手动, "手动", ControlKind::RadioBox, 16, 92, 312, 24, "手动启用", true},
  };
  expectControls(MainWindow, rows);
}

// Guards against a notice whose last line lacks its CR LF, or whose lines
// are joined with a bare LF.
TEST(WindowTables, MainWindowNoticeIsThreeLinesEachEndingWithCrLf) {
  const ControlLayout* label = findControl(MainWindow, main_ctl::透明标签2);
  ASSERT_NE(nullptr, label);
  const std::string text = label->text;
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2) {
    lines.push_back(text.substr(start, crlf - start));
  }
  EXPECT_EQ(text.size(), start) << "text after the last CR LF: \"" << utf8(text.substr(start)) << "\"";
  ASSERT_EQ(3u, lines.size()) << "expected 3 lines got " << lines.size();
  const char* expected[] = {kNoticeLine1, kNoticeLine2, kNoticeLine3};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(expected[i], lines[i]) << "line " << i + 1 << ": expected \"" << utf8(expected[i]) << "\" got \""
                                     << utf8(lines[i]) << "\"";
    EXPECT_EQ(std::string::npos, lines[i].find_first_of("\r\n")) << "line " << i + 1 << " holds a lone CR or LF";
  }
}

// Guards against a wrong caption or size, or an About window that is not a
// resizable tool window without minimise and maximise boxes.
TEST(WindowTables, AboutWindowFrame) {
  expectFrame(AboutWindow, "关于", 430, 230, Frame{.resizable = true, .toolWindow = true});
}

// Guards against the About window's controls drifting from their layout,
// the links losing their blue underlined look or hand cursor, or a label
// becoming a tab stop.
TEST(WindowTables, AboutWindowControls) {
  using namespace about_ctl;
  const std::vector<Row> rows = {
      {ChangeLog, "ChangeLog", ControlKind::TransLabel, 8, 148, 56, 24, "更新日志", false, kBlue,
       FontKind::LabelUnderlined, HAlign::Left, VAlign::Center, false, true},
      {图片框1, "图片框1", ControlKind::PicBox, 16, 40, 100, 100, "", false},
      {与我联系, "与我联系", ControlKind::PushButton, 232, 148, 80, 32, "与我联系(&C)", true},
      {确定, "确定", ControlKind::PushButton, 320, 148, 80, 32, "确定", true},
      {Quorvel论坛欢迎您, "Quorvel论坛欢迎您", ControlKind::TransLabel, 160, 112, 120, 24, "Quorvel论坛欢迎您：",
       false},
      {论坛链接, "论坛链接", ControlKind::TransLabel, 285, 112, 120, 24, kForumHost, false, kBlue,
       FontKind::LabelUnderlined, HAlign::Left, VAlign::Center, false, true},
      {透明标签4, "透明标签4", ControlKind::TransLabel, 136, 80, 264, 32, "", false, kRed, FontKind::Label,
       HAlign::Left, VAlign::Top, true},
      {透明标签3, "透明标签3", ControlKind::TransLabel, 156, 56, 112, 16, kAuthorCredit, false, kBlack,
       FontKind::Default, HAlign::Center},
      {透明标签2, "透明标签2", ControlKind::TransLabel, 186, 33, 52, 16, "V1.1", false, kBlack, FontKind::Default,
       HAlign::Center},
      {透明标签1, "透明标签1", ControlKind::TransLabel, 154, 8, 116, 24, "Kestrana", false},
  };
  expectControls(AboutWindow, rows);
}

// Guards against a wrong caption or size, or a change-log window that loses
// its thick frame, tool-window title bar or minimize-box style.
TEST(WindowTables, ChangeLogWindowFrame) {
  expectFrame(ChangeLogWindow, "更新日志", 380, 250,
              Frame{.resizable = true, .toolWindow = true, .minimizeBox = true});
}

// Guards against the change-log controls drifting, or the box not holding
// the stored history.
TEST(WindowTables, ChangeLogWindowControls) {
  using namespace changelog_ctl;
  const std::vector<Row> rows = {
      {确定, "确定", ControlKind::PushButton, 147, 177, 80, 32, "确定", true},
      {编辑框1, "编辑框1", ControlKind::EditBox, 22, 15, 330, 150, kChangeLogText, true},
  };
  expectControls(ChangeLogWindow, rows);
}

class Bindings : public test::FakePlatformTest {
 protected:
  // Runs the handler bound to (control, event); fails the test when there
  // is none.
  static void run(const WindowLayout& window, int control, Event event) {
    const Handler handler = findHandler(window, control, event);
    ASSERT_NE(nullptr, handler) << utf8(window.caption) << ": no handler for control " << control << " event "
                                << static_cast<int>(event);
    handler();
  }
};

// Guards against the main window reading the start mode before the gate, or
// at all on a refused system.
TEST_F(Bindings, MainWindowCreatedRunsTheGateThenShowsTheStartMode) {
  fake().systemVersion = "6.01";
  fake().storedValue = 4;
  run(MainWindow, kWindowItself, Event::Created);
  using namespace main_ctl;
  const std::vector<Call> expected = {
      Call::querySystemVersion(),
      Call::readRegistry(RootKey::LocalMachine, kStartModePath),
      Call::setChecked(MainWindow, 手动, false),
      Call::setChecked(MainWindow, 自动, false),
      Call::setChecked(MainWindow, 禁用, true),
  };
  EXPECT_EQ(expected, fake().calls);

  fake().reset();
  fake().systemVersion = "5.01";
  fake().storedValue = 4;
  EXPECT_THROW(run(MainWindow, kWindowItself, Event::Created), ProgramEnded);
  EXPECT_TRUE(fake().callsOf("readRegistryNumber").empty()) << "the start mode was read on a refused system";
  EXPECT_TRUE(fake().callsOf("setChecked").empty());
}

// Guards against Exit asking, closing the window first or using another
// exit code.
TEST_F(Bindings, ExitButtonEndsTheProgramAtOnceWithZero) {
  try {
    run(MainWindow, main_ctl::退出, Event::Clicked);
    ADD_FAILURE() << "the Exit button returned";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(0, ended.exitCode) << "expected exit code 0 got " << ended.exitCode;
  }
  EXPECT_EQ(std::vector<Call>{Call::endProgram(0)}, fake().calls);
}

// Guards against the About and Apply buttons being wired to the wrong
// action, or About opening a modeless window.
TEST_F(Bindings, MainWindowAboutOpensTheDialogAndApplyWritesTheChoice) {
  run(MainWindow, main_ctl::关于, Event::Clicked);
  EXPECT_EQ(std::vector<Call>{Call::loadWindow(AboutWindow, true)}, fake().calls);

  fake().reset();
  fake().checked[{&MainWindow, main_ctl::禁用}] = true;
  fake().answers = {kAnswerNo};
  run(MainWindow, main_ctl::确定, Event::Clicked);
  ASSERT_EQ(1u, fake().callsOf("writeRegistryNumber").size());
  EXPECT_EQ(Call::writeRegistry(RootKey::LocalMachine, kStartModePath, 4), fake().callsOf("writeRegistryNumber")[0]);
}

// Guards against handlers bound to events that must do nothing (the labels,
// the radio buttons).
TEST_F(Bindings, OnlyTheListedEventsHaveHandlers) {
  EXPECT_EQ(4u, MainWindow.bindingCount) << "main window: created, 关于, 退出, 确定";
  EXPECT_EQ(6u, AboutWindow.bindingCount)
      << "About window: created, ChangeLog, 图片框1, 与我联系, 确定, 论坛链接 (names in GBK above)";
  EXPECT_EQ(1u, ChangeLogWindow.bindingCount) << "change-log window: 确定";
  for (int radio : {main_ctl::手动, main_ctl::自动, main_ctl::禁用}) {
    for (Event e : {Event::Clicked, Event::MouseDown}) {
      EXPECT_EQ(nullptr, findHandler(MainWindow, radio, e)) << "radio button " << radio;
    }
  }
  EXPECT_EQ(nullptr, findHandler(ChangeLogWindow, kWindowItself, Event::Created));
}

// Guards against the About window showing no logo, or a copy of the wrong
// bytes.
TEST_F(Bindings, AboutWindowCreatedGivesThePictureBoxTheLogo) {
  run(AboutWindow, kWindowItself, Event::Created);
  EXPECT_EQ(std::vector<Call>{Call::setPicture(AboutWindow, about_ctl::图片框1, kLogoPngSize)}, fake().calls);
  ASSERT_EQ(kLogoPngSize, fake().pictureBytes.size());
  EXPECT_EQ(0, std::memcmp(kLogoPng, fake().pictureBytes.data(), kLogoPngSize));
}

// Guards against the About window's mouse and button handlers doing the
// wrong thing: each press must lead to exactly its one action.
TEST_F(Bindings, AboutWindowActions) {
  using namespace about_ctl;
  struct Case {
    int control;
    Event event;
    std::vector<Call> expected;
  };
  const std::vector<Case> cases = {
      {ChangeLog, Event::MouseDown, {Call::loadWindow(ChangeLogWindow, true)}},
      {图片框1, Event::MouseDown,
       {Call::messageBox("本logo为作者亲自手绘的图！不存在侵权行为，未经本人允许，任何人也不可以拿这张图进行商业盈利活动！",
                         0x30, "这张图不侵权！")}},
      {确定, Event::Clicked, {Call::closeWindow(AboutWindow)}},
      {论坛链接, Event::MouseDown, {Call::openWebAddress(kForumAddress)}},
  };
  for (const Case& c : cases) {
    fake().reset();
    run(AboutWindow, c.control, c.event);
    EXPECT_EQ(c.expected, fake().calls) << "control " << utf8(findControl(AboutWindow, c.control)->name);
  }
}

// Guards against the contact prompt opening the profile page on any answer
// but Yes, or showing the wrong prompt.
TEST_F(Bindings, ContactPromptOpensTheProfileOnlyOnYes) {
  const Call prompt = Call::messageBox(
      "联系我需要登录Quorvel论坛账号，然后给我发站内信。\r\n"
      "发送站内信的时候请遵守论坛版规，禁止留QQ、微信等联系方式，对利用私信留联系方式的行为将从重处罚！",
      0x34, "提示");
  for (std::int32_t answer : {kAnswerYes, kAnswerNo, kAnswerOk, kAnswerCancel}) {
    fake().reset();
    fake().answers = {answer};
    run(AboutWindow, about_ctl::与我联系, Event::Clicked);
    std::vector<Call> expected = {prompt};
    if (answer == kAnswerYes) expected.push_back(Call::openWebAddress(kProfileAddress));
    EXPECT_EQ(expected, fake().calls) << "answer " << answer;
  }
}

// Guards against the change-log OK button closing the wrong window.
TEST_F(Bindings, ChangeLogOkClosesTheChangeLogWindow) {
  run(ChangeLogWindow, changelog_ctl::确定, Event::Clicked);
  EXPECT_EQ(std::vector<Call>{Call::closeWindow(ChangeLogWindow)}, fake().calls);
}

}  // namespace
