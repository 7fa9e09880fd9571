// The About window and the change-log window of the real program, driven
// from outside: their frames and controls, how they open and close, what they
// hand to the shell, how they look and what they leave behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver.h"

using namespace e2e;

namespace {

// The version history as the change-log window must show it: nine lines
// joined by CR LF, none after the last.
constexpr char kExpectedChangeLog[] =
    "-------------------------\r\n"
    "V1.1——2020.08.01\r\n"
    "-------------------------\r\n"
    "1、上一版本的软件界面文案有误会误导使用者，现予以修正。\r\n"
    "\r\n"
    "-------------------------\r\n"
    "V1.0——2020.07.31\r\n"
    "-------------------------\r\n"
    "1、软件正式发布。";
static_assert(sizeof kExpectedChangeLog - 1 == 224, "the change log is 224 bytes in GBK");

constexpr char kLogoNoticeCaption[] = "这张图不侵权！";
constexpr char kLogoNoticeText[] =
    "本logo为作者亲自手绘的图！不存在侵权行为，未经本人允许，任何人也不可以拿这张图进行商业盈利活动！";
constexpr char kContactCaption[] = "提示";
constexpr char kContactText[] =
    "联系我需要登录Quorvel论坛账号，然后给我发站内信。\r\n"
    "发送站内信的时候请遵守论坛版规，禁止留QQ、微信等联系方式，对利用私信留联系方式的行为将从重处罚！";

struct ControlRow {
  const char* name;
  int left, top, width, height;
  const char* text;
  bool button;  // a BUTTON push button and a tab stop; the others are neither
};

// Stacking order, first on top.
const ControlRow kAboutRows[] = {
    {"ChangeLog", 8, 148, 56, 24, "更新日志", false},
    {"图片框1", 16, 40, 100, 100, "", false},
    {"与我联系", 232, 148, 80, 32, "与我联系(&C)", true},
    {"确定", 320, 148, 80, 32, "确定", true},
    {"Quorvel论坛欢迎您", 160, 112, 120, 24, "Quorvel论坛欢迎您：", false},
    {"论坛链接", 285, 112, 120, 24, kForumHost, false},
    {"透明标签4", 136, 80, 264, 32, "", false},
    {"透明标签3", 156, 56, 112, 16, "By Quorvel@Lirren", false},
    {"透明标签2", 186, 33, 52, 16, "V1.1", false},
    {"透明标签1", 154, 8, 116, 24, "Kestrana", false},
};
constexpr std::size_t kAboutControlCount = sizeof kAboutRows / sizeof kAboutRows[0];

RECT rowRect(const ControlRow& row) {
  return RECT{row.left, row.top, row.left + row.width, row.top + row.height};
}

// EM_GETSEL as (start, end); (-1, -1) when the box does not answer.
std::pair<long, long> editSelection(HWND edit) {
  const auto r = sendWithin(edit, EM_GETSEL);
  if (!r) return {-1, -1};
  return {static_cast<long>(LOWORD(*r)), static_cast<long>(HIWORD(*r))};
}

// Posts WM_SYSCOMMAND SC_CLOSE, as the system menu's close item does.
void postSystemMenuClose(HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// A left-button press alone, with no release after it.
void postButtonDown(HWND control, POINT clientPoint = POINT{4, 4}) {
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(clientPoint.x, clientPoint.y));
}

// Moves the real mouse to a screen point (SetCursorPos, then a relative
// move of zero through SendInput so that the window below gets the mouse
// messages) and returns the cursor the system then shows.
HCURSOR cursorShownAt(POINT screen, DWORD settleMs = 250) {
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

POINT centreOnScreen(HWND control) {
  const RECT r = outerRect(control);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A text with its length and its line breaks and tabs made visible.
std::string describeText(const std::string& s) {
  std::ostringstream out;
  out << "[" << s.size() << " bytes] \"";
  for (char c : s) {
    if (c == '\r') out << "\\r";
    else if (c == '\n') out << "\\n";
    else if (c == '\t') out << "\\t";
    else out << c;
  }
  out << "\"";
  return out.str();
}

// The About window's controls, taken by their place in the stacking order
// (the layout case checks that order).
struct AboutControls {
  HWND window = nullptr;
  HWND changeLog = nullptr, logo = nullptr, contact = nullptr, ok = nullptr, welcome = nullptr,
       forum = nullptr, label4 = nullptr, label3 = nullptr, label2 = nullptr, label1 = nullptr;
  std::vector<HWND> all;
  bool complete() const { return window && all.size() == kAboutControlCount; }
};

AboutControls aboutControls(HWND window) {
  AboutControls a;
  a.window = window;
  if (!window) return a;
  const auto c = childrenOf(window);
  if (c.size() != kAboutControlCount) return a;
  a.all = c;
  a.changeLog = c[0];
  a.logo = c[1];
  a.contact = c[2];
  a.ok = c[3];
  a.welcome = c[4];
  a.forum = c[5];
  a.label4 = c[6];
  a.label3 = c[7];
  a.label2 = c[8];
  a.label1 = c[9];
  return a;
}

struct ChangeLogControls {
  HWND window = nullptr, ok = nullptr, edit = nullptr;
  bool complete() const { return window && ok && edit; }
};

ChangeLogControls changeLogControls(HWND window) {
  ChangeLogControls c;
  c.window = window;
  if (!window) return c;
  const auto children = childrenOf(window);
  if (children.size() != 2) return c;
  c.ok = children[0];
  c.edit = children[1];
  return c;
}

std::string describeChildren(HWND window) {
  std::string out;
  for (HWND c : childrenOf(window)) out += "\n  " + describe(c) + " " + describe(rectInParent(c));
  return out;
}

class InfoWindowTest : public ProgramTest {
 protected:
  // Starts the program and waits for its main window.
  bool startMain(Where where = Where::current()) {
    main_ = launchMain("", where);
    return main_.complete();
  }

  // Presses 关于 on the main window and waits for the About window.
  bool openAbout(Where where = Where::current()) {
    about_ = AboutControls{};
    pressButton(main_.about);
    HWND window = lastProgram().waitWindow(kAboutCaption, nullptr, 5000, where);
    if (!window) return false;
    about_ = aboutControls(window);
    if (!about_.complete()) {
      KESTRANA_FAIL_AT(where) << "expected " << kAboutControlCount << " controls in the About window got "
                              << childrenOf(window).size() << ":" << describeChildren(window);
      return false;
    }
    return true;
  }

  bool startWithAbout(Where where = Where::current()) { return startMain(where) && openAbout(where); }

  // A left-button press on 更新日志 alone, and the change-log window it
  // opens.
  bool openChangeLog(Where where = Where::current()) {
    changeLog_ = ChangeLogControls{};
    postButtonDown(about_.changeLog);
    HWND window = lastProgram().waitWindow(kChangeLogCaption, nullptr, 5000, where);
    if (!window) return false;
    changeLog_ = changeLogControls(window);
    if (!changeLog_.complete()) {
      KESTRANA_FAIL_AT(where) << "expected 2 controls in the change-log window got " << childrenOf(window).size() << ":"
                              << describeChildren(window);
      return false;
    }
    return true;
  }

  // Tab until `target` has the focus (at most `stops` presses).
  bool tabTo(HWND window, HWND target, int stops, Where where = Where::current()) {
    for (int i = 0; i <= stops; ++i) {
      if (waitFor([&] { return focusedWindow(window) == target; }, i == 0 ? 1000 : 2000)) return true;
      if (i < stops) pressKey(window, VK_TAB, kNoMod, where);
    }
    KESTRANA_FAIL_AT(where) << "expected the focus on " << describe(target) << " got "
                            << describe(focusedWindow(window));
    return false;
  }

  bool waitGone(const char* caption, Where where = Where::current()) {
    return lastProgram().waitWindowGone(caption, 5000, where);
  }

  MainWindowControls main_;
  AboutControls about_;
  ChangeLogControls changeLog_;
};

class About : public InfoWindowTest {};
class ChangeLog : public InfoWindowTest {};
class InfoWindows : public InfoWindowTest {};

std::string describeRecords(const std::vector<Record>& records) {
  std::string out;
  for (const auto& r : records) out += "\n  " + describeText(r.commandLine);
  return out.empty() ? " none" : out;
}

// ============================================================== About window

// Guards against a wrong caption, size, position or frame of the About window.
TEST_F(About, FrameSizeCentringAndStyles) {
  ASSERT_TRUE(startWithAbout());
  HWND w = about_.window;
  EXPECT_EQ(windowText(w), kAboutCaption) << "expected caption \"关于\"";
  const RECT want = centredOnScreen(430, 230);
  const RECT got = outerRect(w);
  EXPECT_TRUE(EqualRect(&got, &want)) << "expected outer rect " << describe(want) << " got " << describe(got);

  expectBits("sizing frame, caption, system menu; no minimize or maximize box; top-level", styleOf(w),
             WS_THICKFRAME | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD,
             WS_THICKFRAME | WS_CAPTION | WS_SYSMENU);
  expectBits("tool window", exStyleOf(w), WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetMenu(w), nullptr) << "expected no menu";
}

// Guards against a control missing, misplaced, out of stacking order, with a
// wrong text, or a label that takes the keyboard focus.
TEST_F(About, ControlsInStackingOrder) {
  ASSERT_TRUE(startWithAbout());
  const auto children = childrenOf(about_.window);
  ASSERT_EQ(children.size(), kAboutControlCount) << describeChildren(about_.window);
  for (std::size_t i = 0; i < kAboutControlCount; ++i) {
    const ControlRow& row = kAboutRows[i];
    SCOPED_TRACE(std::string("control ") + std::to_string(i) + " " + row.name);
    HWND c = children[i];
    const RECT want = rowRect(row);
    const RECT got = rectInParent(c);
    EXPECT_TRUE(EqualRect(&got, &want)) << "expected " << describe(want) << " got " << describe(got);
    EXPECT_EQ(windowText(c), row.text) << "expected text \"" << row.text << "\" got \"" << windowText(c) << "\"";
    expectBits("visible, enabled, a tab stop on buttons only", styleOf(c), WS_VISIBLE | WS_DISABLED | WS_TABSTOP,
               WS_VISIBLE | (row.button ? WS_TABSTOP : 0));
    EXPECT_EQ(hasClass(c, "Button"), row.button) << "expected class " << (row.button ? "BUTTON" : "a drawn control")
                                                 << " got " << className(c);
    if (row.button) {
      expectBits("push button (not a default one), multi-line", styleOf(c), BS_TYPEMASK | BS_MULTILINE,
                 BS_PUSHBUTTON | BS_MULTILINE);
    }
  }
}

enum class AboutClose { OkButton, CloseBox, SystemMenu, EscOnOk, EscOnContact };

// Guards against a way of closing About that leaves the main window disabled,
// or a main window that stays usable under About.
TEST_F(About, MainWindowDisabledUntilClosedEachWay) {
  const struct {
    const char* name;
    AboutClose way;
  } cases[] = {
      {"确定 clicked", AboutClose::OkButton},
      {"close box (WM_CLOSE)", AboutClose::CloseBox},
      {"system menu (SC_CLOSE)", AboutClose::SystemMenu},
      {"Esc with the focus on 确定", AboutClose::EscOnOk},
      {"Esc with the focus on 与我联系", AboutClose::EscOnContact},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    if (!startWithAbout()) continue;
    EXPECT_FALSE(isEnabled(main_.window)) << "expected the main window disabled while About is open";
    EXPECT_TRUE(isEnabled(about_.window)) << "expected About enabled";
    switch (tc.way) {
      case AboutClose::OkButton: pressButton(about_.ok); break;
      case AboutClose::CloseBox: postClose(about_.window); break;
      case AboutClose::SystemMenu: postSystemMenuClose(about_.window); break;
      case AboutClose::EscOnOk:
        if (tabTo(about_.window, about_.ok, 2)) pressKey(about_.window, VK_ESCAPE);
        break;
      case AboutClose::EscOnContact:
        if (tabTo(about_.window, about_.contact, 2)) pressKey(about_.window, VK_ESCAPE);
        break;
    }
    if (waitGone(kAboutCaption)) {
      EXPECT_TRUE(waitFor([&] { return isEnabled(main_.window); }, 2000))
          << "expected the main window enabled after About closed";
      EXPECT_FALSE(IsWindow(about_.window)) << "expected the About window destroyed, not hidden";
    }
    lastProgram().expectStillRunning(100);
    EXPECT_NE(findTopWindow(lastProgram().pid(), kMainCaption), nullptr) << "expected the main window still open";
    lastProgram().terminate();
  }
}

// Guards against a Tab order that leaves the buttons or stops on a label.
TEST_F(About, TabAlternatesBetweenTheTwoButtons) {
  ASSERT_TRUE(startWithAbout());
  HWND w = about_.window;
  ASSERT_TRUE(bringToForeground(w));
  ASSERT_TRUE(waitFor([&] { HWND f = focusedWindow(w); return f == about_.ok || f == about_.contact; }, 2000))
      << "expected the focus on one of the buttons got " << describe(focusedWindow(w));
  for (unsigned mods : {kNoMod, kShift}) {
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::string(mods ? "Shift+Tab" : "Tab") + " press " + std::to_string(i + 1));
      HWND before = focusedWindow(w);
      HWND want = before == about_.ok ? about_.contact : about_.ok;
      pressKey(w, VK_TAB, mods);
      EXPECT_TRUE(waitFor([&] { return focusedWindow(w) == want; }, 2000))
          << "from " << describe(before) << " expected " << describe(want) << " got "
          << describe(focusedWindow(w));
    }
  }
}

// Guards against a default button: Enter must press neither button. Space on
// the same button shows that keys do reach it.
TEST_F(About, EnterPressesNeitherButton) {
  for (bool onContact : {false, true}) {
    SCOPED_TRACE(onContact ? "focus on 与我联系" : "focus on 确定");
    if (!startWithAbout()) continue;
    HWND target = onContact ? about_.contact : about_.ok;
    if (!tabTo(about_.window, target, 2)) continue;
    pressKey(about_.window, VK_RETURN);
    settle(about_.window, 600);
    EXPECT_EQ(findMessageBox(lastProgram().pid()), nullptr) << "expected no box after Enter";
    EXPECT_NE(findTopWindow(lastProgram().pid(), kAboutCaption), nullptr) << "expected About still open after Enter";
    EXPECT_EQ(focusedWindow(about_.window), target) << "expected the focus to stay on " << describe(target);

    pressKey(about_.window, VK_SPACE);
    if (onContact) {
      if (HWND box = lastProgram().waitMessageBox(3000)) {
        EXPECT_EQ(readMessageBox(box).caption, kContactCaption) << "Space on 与我联系: expected the contact prompt";
        pressBoxButton(box, IDNO);
        lastProgram().waitWindowGone(kContactCaption, 3000);
      }
    } else {
      waitGone(kAboutCaption);
    }
    lastProgram().terminate();
  }
}

// Guards against the links not showing the hand, or other labels showing it.
TEST_F(About, HandCursorOverTheTwoLinksOnly) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(bringToForeground(about_.window));
  // The window's own background shows its class cursor, the arrow of the
  // program's process. Cursor handles are per process under Wine, so the
  // program's arrow is the reference, not the driver's.
  POINT background{130, 160};
  ClientToScreen(about_.window, &background);
  const HCURSOR arrow = cursorShownAt(background);
  ASSERT_NE(arrow, nullptr) << "GetCursorInfo reported no cursor";

  const struct {
    const char* name;
    HWND control;
    bool hand;
  } cases[] = {
      {"论坛链接", about_.forum, true},        {"ChangeLog", about_.changeLog, true},
      {"透明标签1", about_.label1, false},     {"透明标签2", about_.label2, false},
      {"透明标签3", about_.label3, false},     {"透明标签4", about_.label4, false},
      {"Quorvel论坛欢迎您", about_.welcome, false}, {"图片框1", about_.logo, false},
  };
  HCURSOR linkCursor = nullptr;
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    const HCURSOR shown = cursorShownAt(centreOnScreen(tc.control));
    if (tc.hand) {
      EXPECT_NE(shown, arrow) << "expected a cursor other than the arrow " << arrow << " got " << shown;
      if (linkCursor) {
        EXPECT_EQ(shown, linkCursor) << "expected the other link's cursor " << linkCursor << " got " << shown;
      }
      linkCursor = shown;
    } else {
      EXPECT_EQ(shown, arrow) << "expected the arrow " << arrow << " got " << shown;
    }
    // Where cursor handles are shared by all processes, the hand is IDC_HAND
    // itself.
    if (arrow == LoadCursor(nullptr, IDC_ARROW) && tc.hand) {
      EXPECT_EQ(shown, LoadCursor(nullptr, IDC_HAND)) << "expected IDC_HAND " << LoadCursor(nullptr, IDC_HAND) << " got " << shown;
    }
  }
  if (arrow != LoadCursor(nullptr, IDC_ARROW)) {
    RecordProperty("cursor_handles", "per process: the hand is told from the arrow, not matched to IDC_HAND");
  }
}

// Guards against a wrong logo notice, or one that closes the About window.
TEST_F(About, LogoPressShowsTheNoticeAndAboutStaysOpen) {
  ASSERT_TRUE(startWithAbout());
  postButtonDown(about_.logo, POINT{50, 50});
  HWND box = lastProgram().waitMessageBox();
  ASSERT_NE(box, nullptr);
  const MessageBoxInfo info = readMessageBox(box);
  EXPECT_EQ(info.caption, kLogoNoticeCaption) << "expected caption \"" << kLogoNoticeCaption << "\" got \""
                                              << info.caption << "\"";
  EXPECT_EQ(info.text, kLogoNoticeText) << "expected text " << describeText(kLogoNoticeText) << " got "
                                        << describeText(info.text);
  ASSERT_EQ(info.buttons.size(), 1u) << "expected one button (OK)";
  EXPECT_EQ(info.buttons[0].id, IDOK) << "expected the OK button (id 1) got id " << info.buttons[0].id;
  EXPECT_FALSE(isEnabled(about_.window)) << "expected About to take no input while the notice is up";

  pressBoxButton(box, IDOK);
  EXPECT_TRUE(lastProgram().waitWindowGone(kLogoNoticeCaption, 3000));
  settle(about_.window, 300);
  EXPECT_NE(findTopWindow(lastProgram().pid(), kAboutCaption), nullptr) << "expected About still open after OK";
  EXPECT_TRUE(waitFor([&] { return isEnabled(about_.window); }, 2000)) << "expected About enabled after OK";
  EXPECT_FALSE(isEnabled(main_.window)) << "expected the main window still disabled under About";
}

// Guards against the contact prompt's text or buttons, a browser started on
// No, or a wrong profile address on Yes.
TEST_F(About, ContactPromptNoOpensNothingYesHandsTheProfileAddress) {
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
    HttpsRecorder recorder;
    if (!startWithAbout()) continue;
    pressButton(about_.contact);
    HWND box = lastProgram().waitMessageBox();
    if (!box) continue;
    const MessageBoxInfo info = readMessageBox(box);
    EXPECT_EQ(info.caption, kContactCaption) << "expected caption \"提示\" got \"" << info.caption << "\"";
    EXPECT_EQ(info.text, kContactText) << "expected text " << describeText(kContactText) << " got "
                                       << describeText(info.text);
    EXPECT_EQ(info.buttons.size(), 2u) << "expected two buttons (Yes, No)";
    EXPECT_TRUE(info.hasButton(IDYES)) << "expected a Yes button (id 6)";
    EXPECT_TRUE(info.hasButton(IDNO)) << "expected a No button (id 7)";

    pressBoxButton(box, answer);
    lastProgram().waitWindowGone(kContactCaption, 3000);
    if (answer == IDYES) {
      waitRecords(recorder.file(), 1);
      settle(about_.window, 500);  // a second call would show up by now
      const auto records = recorder.records();
      ASSERT_EQ(records.size(), 1u) << "expected one shell request got" << describeRecords(records);
      ASSERT_EQ(records[0].arguments.size(), 1u) << "expected one argument got " << describeText(records[0].commandLine);
      EXPECT_EQ(records[0].arguments[0], kProfileAddress)
          << "expected " << describeText(kProfileAddress) << " got "
          << describeText(records[0].arguments[0]);
    } else {
      // The handler starts asynchronously: give it time to show up.
      Sleep(2000);
      EXPECT_TRUE(recorder.records().empty())
          << "expected no shell request after No got" << describeRecords(recorder.records());
    }
    EXPECT_NE(findTopWindow(lastProgram().pid(), kAboutCaption), nullptr) << "expected About still open";
    EXPECT_TRUE(waitFor([&] { return isEnabled(about_.window); }, 2000)) << "expected About enabled again";
    lastProgram().terminate();
  }
}

// Guards against a wrong forum address, or one that loses or gains a
// trailing space (seen where the shell keeps trailing spaces: Wine 8.0, not
// Wine 10.0).
TEST_F(About, ForumLinkPressHandsTheForumAddress) {
  const ShellControl control = shellControl(kForumAddress);
  ASSERT_EQ(control.arguments.size(), 1u) << "the driver's own request of the address reached no handler";
  RecordProperty("trailing_space", control.seesTrailingSpace ? "seen" : "not seen: this Wine's shell strips it");
  HttpsRecorder recorder;
  ASSERT_TRUE(startWithAbout());
  postButtonDown(about_.forum);
  waitRecords(recorder.file(), 1);
  settle(about_.window, 500);
  const auto records = recorder.records();
  ASSERT_EQ(records.size(), 1u) << "expected one shell request on one press got" << describeRecords(records);
  RecordProperty("forum_command_line", records[0].commandLine);
  ASSERT_EQ(records[0].arguments.size(), 1u) << "expected one argument got " << describeText(records[0].commandLine);
  EXPECT_EQ(records[0].arguments[0], control.arguments[0])
      << "expected what the shell makes of " << describeText(kForumAddress) << ", "
      << describeText(control.arguments[0]) << ", got " << describeText(records[0].arguments[0]);
  EXPECT_NE(findTopWindow(lastProgram().pid(), kAboutCaption), nullptr) << "expected About still open";
}

// Guards against controls that follow the frame when the window is resized.
TEST_F(About, ResizingMovesNoControl) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(SetWindowPos(about_.window, nullptr, 0, 0, 430 + 220, 230 + 160,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
  settle(about_.window, 300);
  const RECT outer = outerRect(about_.window);
  ASSERT_EQ(outer.right - outer.left, 650) << "expected the window resized, got " << describe(outer);
  ASSERT_EQ(outer.bottom - outer.top, 390) << "expected the window resized, got " << describe(outer);
  for (std::size_t i = 0; i < kAboutControlCount; ++i) {
    SCOPED_TRACE(kAboutRows[i].name);
    const RECT want = rowRect(kAboutRows[i]);
    const RECT got = rectInParent(about_.all[i]);
    EXPECT_TRUE(EqualRect(&got, &want)) << "expected " << describe(want) << " got " << describe(got);
  }
}

// Guards against a logo that is not drawn (or drawn on the wrong background),
// links that are not blue and underlined, and an empty label that paints.
TEST_F(About, ScreenshotShowsLogoBlueUnderlinedLinksAndNothingInTheEmptyLabel) {
  ASSERT_TRUE(startWithAbout());
  const Capture shot = captureWindow(about_.window);
  ASSERT_FALSE(shot.empty());
  const Pixel face = pixelOf(GetSysColor(COLOR_BTNFACE));
  auto notFace = [&](Pixel p) { return !(p == face); };

  {
    SCOPED_TRACE("图片框1");
    const RECT box = shot.toCapture(about_.window, rectInParent(about_.logo));
    const int drawn = countPixels(shot, box, notFace);
    EXPECT_GE(drawn, 3000) << "expected the logo drawn: at least 3000 of 10000 pixels not " << describe(face)
                           << " got " << drawn;
    const int blueish = countPixels(shot, box, [](Pixel p) { return p.b >= 120 && p.b >= p.r + 60; });
    EXPECT_GE(blueish, 500) << "expected blue pixels of the logo got " << blueish;
    // The logo is transparent in its corners: the box's button face shows.
    for (POINT corner : {POINT{1, 1}, POINT{98, 1}, POINT{1, 98}, POINT{98, 98}}) {
      const Pixel got = shot.atClient(about_.logo, corner.x, corner.y);
      EXPECT_EQ(got, face) << "corner (" << corner.x << "," << corner.y << "): expected the button face "
                           << describe(face) << " got " << describe(got);
    }
  }
  for (const auto& [name, control] : {std::pair{"论坛链接", about_.forum}, std::pair{"ChangeLog", about_.changeLog}}) {
    SCOPED_TRACE(name);
    const RECT r = shot.toCapture(about_.window, rectInParent(control));
    const InkLayout ink = inkLayout(shot, r, isBlueInk);
    ASSERT_GE(ink.count, 40) << "expected blue text (B high, R and G low) got " << ink.count << " blue pixels";
    const int textWidth = ink.bounds.right - ink.bounds.left;
    EXPECT_GE(ink.longestRun * 10, textWidth * 8)
        << "expected an underline: a blue run over 80% of the text width " << textWidth << " got "
        << ink.longestRun;
    EXPECT_GE(ink.longestRunRow, ink.bounds.bottom - 3)
        << "expected the underline on the text's lowest rows (bottom " << ink.bounds.bottom << ") got row "
        << ink.longestRunRow;
    const int red = countPixels(shot, r, isRedInk);
    EXPECT_EQ(red, 0) << "expected no red in a link got " << red;
  }
  {
    SCOPED_TRACE("透明标签1 (black, not a link)");
    const RECT r = shot.toCapture(about_.window, rectInParent(about_.label1));
    EXPECT_GT(countPixels(shot, r, isDarkInk), 20)
        << "expected black text";
    EXPECT_EQ(countPixels(shot, r, isBlueInk), 0) << "expected no blue in a black label";
  }
  {
    SCOPED_TRACE("透明标签4 (empty)");
    const RECT r = shot.toCapture(about_.window, rectInParent(about_.label4));
    const int red = countPixels(shot, r, isRedInk);
    const int other = countPixels(shot, r, notFace);
    EXPECT_EQ(red, 0) << "expected no red pixels got " << red;
    EXPECT_EQ(other, 0) << "expected only the background " << describe(face) << " got " << other
                        << " other pixels";
  }
}

// ============================================================== change-log window

// Guards against a change-log window bound to the release or the click
// rather than the press, or opened twice by one click.
TEST_F(ChangeLog, OpensOnThePressBeforeTheRelease) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog()) << "a press without a release must open the window";
  pressButton(changeLog_.ok);
  ASSERT_TRUE(waitGone(kChangeLogCaption));

  PostMessageA(about_.changeLog, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  settle(about_.window, 600);
  EXPECT_EQ(findTopWindow(lastProgram().pid(), kChangeLogCaption), nullptr) << "expected no window on a release alone";

  clickCenter(about_.changeLog);
  HWND w = lastProgram().waitWindow(kChangeLogCaption);
  ASSERT_NE(w, nullptr) << "a real click must open the window";
  settle(w, 400);
  int count = 0;
  for (HWND top : topWindows(lastProgram().pid())) count += windowText(top) == kChangeLogCaption;
  EXPECT_EQ(count, 1) << "expected one change-log window after one click";
}

// Guards against a wrong caption, size, position or frame of the change-log
// window, or one opened under the About window.
TEST_F(ChangeLog, FrameSizeCentringAndStyles) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  HWND w = changeLog_.window;
  EXPECT_EQ(windowText(w), kChangeLogCaption) << "expected caption \"更新日志\"";
  const RECT want = centredOnScreen(380, 250);
  const RECT got = outerRect(w);
  EXPECT_TRUE(EqualRect(&got, &want)) << "expected outer rect " << describe(want) << " got " << describe(got);
  expectBits("sizing frame, caption, system menu, minimize box; no maximize box", styleOf(w),
             WS_THICKFRAME | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
             WS_THICKFRAME | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  expectBits("tool window", exStyleOf(w), WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
  const auto tops = topWindows(lastProgram().pid());
  const auto at = [&](HWND h) { return std::find(tops.begin(), tops.end(), h) - tops.begin(); };
  EXPECT_LT(at(w), at(about_.window)) << "expected the change-log window above the About window";
}

// Guards against a wrong control layout, edit box settings or change-log text.
TEST_F(ChangeLog, ControlsEditBoxSettingsAndText) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  const struct {
    const char* name;
    HWND control;
    RECT rect;
    const char* cls;
  } rows[] = {
      {"确定", changeLog_.ok, RECT{147, 177, 147 + 80, 177 + 32}, "Button"},
      {"编辑框1", changeLog_.edit, RECT{22, 15, 22 + 330, 15 + 150}, "Edit"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RECT got = rectInParent(row.control);
    EXPECT_TRUE(EqualRect(&got, &row.rect)) << "expected " << describe(row.rect) << " got " << describe(got);
    EXPECT_TRUE(hasClass(row.control, row.cls)) << "expected class " << row.cls << " got " << className(row.control);
    expectBits("visible, enabled, a tab stop", styleOf(row.control), WS_VISIBLE | WS_DISABLED | WS_TABSTOP,
               WS_VISIBLE | WS_TABSTOP);
  }
  EXPECT_EQ(windowText(changeLog_.ok), "确定");
  expectBits("确定: push button (not a default one), multi-line", styleOf(changeLog_.ok), BS_TYPEMASK | BS_MULTILINE,
             BS_PUSHBUTTON | BS_MULTILINE);
  HWND edit = changeLog_.edit;
  // Multi-line, scrolling down as lines are added, Enter making a new line;
  // wrapping (no horizontal scrolling), no scroll bars, editable, plain,
  // left-aligned.
  expectBits("编辑框1", styleOf(edit),
             ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL | ES_READONLY |
                 ES_NOHIDESEL | ES_PASSWORD | ES_UPPERCASE | ES_LOWERCASE | ES_CENTER | ES_RIGHT,
             ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN);
  expectBits("编辑框1: sunken edge", exStyleOf(edit), WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
  // EM_LIMITTEXT 0 on a multi-line box leaves the largest limit; an untouched
  // box would answer 30000.
  const auto limit = sendWithin(edit, EM_GETLIMITTEXT);
  ASSERT_TRUE(limit.has_value());
  EXPECT_EQ(static_cast<DWORD>(*limit), 0xFFFFFFFFu)
      << "expected the system's largest limit ffffffff got " << hex(static_cast<DWORD>(*limit));
  const auto sel = editSelection(edit);
  EXPECT_EQ(sel, std::make_pair(0L, 0L)) << "expected the selection 0/0 got " << sel.first << "/" << sel.second;
  EXPECT_EQ(sendWithin(edit, EM_GETFIRSTVISIBLELINE).value_or(-1), 0) << "expected the first line in view";
  const std::string text = windowText(edit);
  EXPECT_EQ(text, kExpectedChangeLog) << "expected " << describeText(kExpectedChangeLog) << " got "
                                      << describeText(text);
  EXPECT_EQ(sendWithin(edit, WM_GETTEXTLENGTH).value_or(-1), 224) << "expected 224 bytes";
}

enum class ChangeLogClose { OkButton, CloseBox, SystemMenu, EscInEdit, EscOnButton };

// Guards against a way of closing the change log that leaves the About
// window disabled, enables the main window under About, or the other way.
TEST_F(ChangeLog, AboutAndMainDisabledWhileOpenAndRestoredEachWay) {
  const struct {
    const char* name;
    ChangeLogClose way;
  } cases[] = {
      {"确定 clicked", ChangeLogClose::OkButton},
      {"close box (WM_CLOSE)", ChangeLogClose::CloseBox},
      {"system menu (SC_CLOSE)", ChangeLogClose::SystemMenu},
      {"Esc with the focus in 编辑框1", ChangeLogClose::EscInEdit},
      {"Esc with the focus on 确定", ChangeLogClose::EscOnButton},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    if (!startWithAbout() || !openChangeLog()) {
      lastProgram().terminate();
      continue;
    }
    EXPECT_FALSE(isEnabled(about_.window)) << "expected About disabled under the change log";
    EXPECT_FALSE(isEnabled(main_.window)) << "expected the main window disabled under the change log";
    EXPECT_TRUE(isEnabled(changeLog_.window)) << "expected the change-log window enabled";
    switch (tc.way) {
      case ChangeLogClose::OkButton: pressButton(changeLog_.ok); break;
      case ChangeLogClose::CloseBox: postClose(changeLog_.window); break;
      case ChangeLogClose::SystemMenu: postSystemMenuClose(changeLog_.window); break;
      case ChangeLogClose::EscInEdit:
        if (tabTo(changeLog_.window, changeLog_.edit, 2)) pressKey(changeLog_.window, VK_ESCAPE);
        break;
      case ChangeLogClose::EscOnButton:
        if (tabTo(changeLog_.window, changeLog_.ok, 2)) pressKey(changeLog_.window, VK_ESCAPE);
        break;
    }
    if (waitGone(kChangeLogCaption)) {
      EXPECT_TRUE(waitFor([&] { return isEnabled(about_.window); }, 2000))
          << "expected About enabled after the change log closed";
      settle(about_.window, 200);
      EXPECT_FALSE(isEnabled(main_.window)) << "expected the main window still disabled: About is open";
      EXPECT_NE(findTopWindow(lastProgram().pid(), kAboutCaption), nullptr) << "expected About still open";
      pressButton(about_.ok);
      if (waitGone(kAboutCaption)) {
        EXPECT_TRUE(waitFor([&] { return isEnabled(main_.window); }, 2000))
            << "expected the main window enabled after About closed";
      }
    }
    lastProgram().terminate();
  }
}

// Guards against edits that survive the window: each reopening shows the
// stored text again.
TEST_F(ChangeLog, EditsAreDroppedOnClose) {
  ASSERT_TRUE(startWithAbout());
  const std::string stored = kExpectedChangeLog;
  const std::string firstLine = stored.substr(0, stored.find("\r\n"));
  const struct {
    const char* name;
    void (*edit)(HWND window, HWND edit);
    std::string edited;  // the box's text once the edit has arrived
  } cases[] = {
      {"typed characters", [](HWND w, HWND) { typeText(w, "abc xyz"); }, "abc xyz" + stored},
      {"Delete and Backspace",
       [](HWND w, HWND) {
         for (int i = 0; i < 5; ++i) pressKey(w, VK_DELETE);
         pressKey(w, VK_END);
         for (int i = 0; i < 3; ++i) pressKey(w, VK_BACK);
       },
       firstLine.substr(8) + stored.substr(firstLine.size())},
      {"WM_CHAR posted",
       [](HWND, HWND e) {
         for (char ch : std::string("kestrel")) PostMessageA(e, WM_CHAR, ch, 1);
       },
       "kestrel" + stored},
      {"everything selected and deleted",
       [](HWND w, HWND e) {
         sendWithin(e, EM_SETSEL, 0, -1);
         pressKey(w, VK_DELETE);
       },
       ""},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    if (!openChangeLog()) break;
    if (!tabTo(changeLog_.window, changeLog_.edit, 2)) break;
    tc.edit(changeLog_.window, changeLog_.edit);
    EXPECT_TRUE(waitFor([&] { return windowText(changeLog_.edit) == tc.edited; }, 3000))
        << "expected the edit to give " << describeText(tc.edited) << " got "
        << describeText(windowText(changeLog_.edit));
    pressButton(changeLog_.ok);
    if (!waitGone(kChangeLogCaption)) break;
    if (!openChangeLog()) break;
    const std::string text = windowText(changeLog_.edit);
    EXPECT_EQ(text, stored) << "expected the stored text back got " << describeText(text);
    const auto sel = editSelection(changeLog_.edit);
    EXPECT_EQ(sel, std::make_pair(0L, 0L)) << "expected the selection 0/0 got " << sel.first << "/" << sel.second;
    pressButton(changeLog_.ok);
    if (!waitGone(kChangeLogCaption)) break;
  }
}

// Guards against Tab typed into the box instead of moving the focus.
TEST_F(ChangeLog, TabMovesTheFocusAndTypesNoTab) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  HWND w = changeLog_.window;
  ASSERT_TRUE(tabTo(w, changeLog_.edit, 2));
  const struct {
    unsigned mods;
    HWND from, to;
    const char* name;
  } steps[] = {
      {kNoMod, changeLog_.edit, changeLog_.ok, "Tab from 编辑框1"},
      {kNoMod, changeLog_.ok, changeLog_.edit, "Tab from 确定"},
      {kShift, changeLog_.edit, changeLog_.ok, "Shift+Tab from 编辑框1"},
      {kShift, changeLog_.ok, changeLog_.edit, "Shift+Tab from 确定"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(focusedWindow(w), s.from) << "expected the focus on " << describe(s.from);
    pressKey(w, VK_TAB, s.mods);
    EXPECT_TRUE(waitFor([&] { return focusedWindow(w) == s.to; }, 2000))
        << "expected " << describe(s.to) << " got " << describe(focusedWindow(w));
    settle(w, 100);
    const std::string text = windowText(changeLog_.edit);
    EXPECT_EQ(text.find('\t'), std::string::npos) << "expected no tab character got " << describeText(text);
    EXPECT_EQ(text, kExpectedChangeLog) << "expected the text unchanged got " << describeText(text);
  }
}

// Guards against Enter that closes the window or presses 确定 instead of
// starting a new line.
TEST_F(ChangeLog, EnterInTheBoxStartsANewLine) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  HWND w = changeLog_.window;
  ASSERT_TRUE(tabTo(w, changeLog_.edit, 2));
  ASSERT_EQ(editSelection(changeLog_.edit), std::make_pair(0L, 0L));
  pressKey(w, VK_RETURN);
  const std::string want = std::string("\r\n") + kExpectedChangeLog;
  EXPECT_TRUE(waitFor([&] { return windowText(changeLog_.edit) == want; }, 2000))
      << "expected " << describeText(want) << " got " << describeText(windowText(changeLog_.edit));
  const auto sel = editSelection(changeLog_.edit);
  EXPECT_EQ(sel, std::make_pair(2L, 2L)) << "expected the caret after the line break got " << sel.first << "/"
                                         << sel.second;
  EXPECT_NE(findTopWindow(lastProgram().pid(), kChangeLogCaption), nullptr) << "expected the window still open";
  EXPECT_EQ(focusedWindow(w), changeLog_.edit) << "expected the focus still in the box";
}

// Guards against controls that follow the frame when the window is resized.
TEST_F(ChangeLog, ResizingMovesNoControl) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  ASSERT_TRUE(SetWindowPos(changeLog_.window, nullptr, 0, 0, 380 + 200, 250 + 150,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
  settle(changeLog_.window, 300);
  const RECT outer = outerRect(changeLog_.window);
  ASSERT_EQ(outer.right - outer.left, 580) << "expected the window resized, got " << describe(outer);
  ASSERT_EQ(outer.bottom - outer.top, 400) << "expected the window resized, got " << describe(outer);
  const struct {
    const char* name;
    HWND control;
    RECT rect;
  } rows[] = {
      {"确定", changeLog_.ok, RECT{147, 177, 227, 209}},
      {"编辑框1", changeLog_.edit, RECT{22, 15, 352, 165}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RECT got = rectInParent(row.control);
    EXPECT_TRUE(EqualRect(&got, &row.rect)) << "expected " << describe(row.rect) << " got " << describe(got);
  }
}

// ============================================================== both windows

// Guards against an information window without the program's icon, or with
// another. Both are tool windows, which draw no icon in their caption, so
// each size is read where Wine hands it to the X server for the window.
TEST_F(InfoWindows, BothCarryTheProgramIcon) {
  ASSERT_TRUE(startWithAbout());
  ASSERT_TRUE(openChangeLog());
  const struct {
    const char* name;
    HWND window;
  } windows[] = {{"关于", about_.window}, {"更新日志", changeLog_.window}};
  for (int size : {16, 32}) {
    HICON icon = loadProgramIcon(size);
    ASSERT_NE(icon, nullptr) << "the program file has no DEFAULT_ICON at " << size << "x" << size;
    for (const auto& w : windows) {
      SCOPED_TRACE(std::string(w.name) + " " + std::to_string(size) + "x" + std::to_string(size));
      const Capture shown = iconOnTheXServer(w.window, size);
      if (shown.empty()) continue;
      const double match = bestIconMatch(shown, icon, RECT{0, 0, size, size});
      EXPECT_EQ(match, 1.0) << "expected every opaque pixel of the program's icon in the window's icon; "
                            << "matched " << match;
    }
    DestroyIcon(icon);
  }
}

// Guards against GDI objects (fonts, bitmaps) or windows left behind by an
// opening of About, the change log or the logo notice.
TEST_F(InfoWindows, TwoHundredRoundsLeaveNoGdiObjectsAndNoWindows) {
  {
    // The table is found through the process layout of the driver's own
    // architecture: fonts made here must show in the driver's own table,
    // or what is counted below is not the program's GDI objects.
    const auto before = gdiObjects(GetCurrentProcess());
    std::vector<HFONT> fonts;
    for (int i = 0; i < 10; ++i) fonts.push_back(CreateFontA(-12 - i, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    const auto with = gdiObjects(GetCurrentProcess());
    for (HFONT font : fonts) DeleteObject(font);
    ASSERT_TRUE(before && with) << "the driver's own GDI handle table cannot be read: wrong process layout";
    ASSERT_EQ(with->total - before->total, 10) << "ten fonts made by the driver: expected ten more objects in its "
                                               << "own table, " << describe(before) << " -> " << describe(with)
                                               << ": wrong process layout";
  }
  const auto dcCost = displayDcCost();
  ASSERT_TRUE(dcCost) << "the driver's own display DCs cannot be counted";
  ASSERT_EQ(dcCost->count(kGdiDc), 1u) << "holding display DCs made no DC in the driver's own table";
  ASSERT_TRUE(startMain());
  Program& program = lastProgram();
  auto round = [&](bool notice, Where where = Where::current()) {
    if (!openAbout(where)) return false;
    if (notice) {
      postButtonDown(about_.logo, POINT{50, 50});
      HWND box = program.waitMessageBox(5000, where);
      if (!box || !pressBoxButton(box, IDOK) || !waitGone(kLogoNoticeCaption, where) ||
          !waitFor([&] { return isEnabled(about_.window); }, 5000)) {
        return false;
      }
    }
    if (!openChangeLog(where)) return false;
    pressButton(changeLog_.ok);
    if (!waitGone(kChangeLogCaption, where)) return false;
    pressButton(about_.ok);
    return waitGone(kAboutCaption, where) && waitFor([&] { return isEnabled(main_.window); }, 5000);
  };
  struct Counts {
    std::optional<GdiObjects> gdi;
    int windows;
  };
  // What the program holds more of than `earlier`, "" when nothing.
  auto gdiGrowthSince = [&](const Counts& earlier, const Counts& later) {
    return earlier.gdi && later.gdi ? gdiGrowth(*earlier.gdi, *later.gdi, *dcCost) : "(table not read)";
  };
  auto counts = [&] {
    settle(main_.window, 200);
    return Counts{gdiObjects(program.handle()), windowCount(program.pid())};
  };
  // The first rounds fill what is made once (classes, icons, the box's).
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(round(true));
  const Counts before = counts();
  ASSERT_TRUE(before.gdi) << "the program's GDI handle table cannot be read";
  ASSERT_GT(before.gdi->total, 0) << "no live GDI object read: not the program's handle table";
  ASSERT_GT(before.windows, 0) << "no window of the program found";
  for (int i = 1; i <= 200; ++i) {
    SCOPED_TRACE("round " + std::to_string(i));
    ASSERT_TRUE(round(i % 20 == 0));
  }
  // Something on its way out gets two seconds to go; a leak stays.
  Counts after = counts();
  for (int i = 0; i < 10 && (!gdiGrowthSince(before, after).empty() || after.windows != before.windows); ++i) {
    after = counts();
  }
  RecordProperty("gdi_objects", describe(before.gdi) + " -> " + describe(after.gdi));
  RecordProperty("display_dc_cost", describe(*dcCost));
  RecordProperty("windows", std::to_string(before.windows) + " -> " + std::to_string(after.windows));
  // Wine makes one more display DC, to keep for reuse, whenever none of those
  // it keeps is free; which round first needs one more depends on the order
  // in which windows happen to be painted, so it is not counted as a leak,
  // nor is what such a DC brings with it on this Wine.
  const std::string growth = gdiGrowthSince(before, after);
  EXPECT_TRUE(growth.empty()) << "GDI objects the program holds more of after 200 rounds: " << growth << "; before "
                              << describe(before.gdi) << ", after " << describe(after.gdi)
                              << "; a display DC kept for reuse brings at most " << describe(*dcCost);
  EXPECT_EQ(after.windows, before.windows) << "windows after 200 rounds: expected " << before.windows << " got "
                                           << after.windows;
}

}  // namespace
