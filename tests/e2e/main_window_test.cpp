// The main window as a user and Windows see it: frame, layout, keyboard,
// mouse, the ways the program ends, and what is drawn on the screen.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "driver.h"

namespace {

using namespace e2e;

constexpr char kNotice[] =
    "注意：\r\n"
    "本工具通过修改注册表中的USBstor属性来实现USB接口开启关闭，一旦禁用，所有USB接口设备都无法使用，"
    "包括但不限于U盘、扫描仪、打印机等基于USB接口的设备，切记！\r\n"
    "2、来宾或其他低权限的身份无法设置USB接口运行状态，请以管理员身份运行此工具。\r\n";

std::string name(HWND hwnd) { return utf8(describe(hwnd)); }

// Saved beside the temp files when a pixel case fails, to look at.
void keepPicture(const Capture& shot, const char* what) {
  if (!::testing::Test::HasFailure()) return;
  const std::string path = tempFileName(what) + ".bmp";
  if (shot.saveBmp(path)) std::printf("picture saved to %s\n", path.c_str());
}

// Every case starts from a known stored value, 3 ("手动启用").
class MainWindow : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    setStartValue(3);
  }

  bool waitFocus(HWND window, HWND expected, Where where = Where::current()) {
    const bool ok = waitFor([&] { return focusedWindow(window) == expected; }, 2000);
    if (!ok) {
      KESTRANA_FAIL_AT(where) << "expected focus " << name(expected) << " got " << name(focusedWindow(window));
    }
    return ok;
  }

  // Tabs forward until `target` has the focus (at most one round).
  bool tabTo(const MainWindowControls& c, HWND target, Where where = Where::current()) {
    for (int i = 0; i < 7 && focusedWindow(c.window) != target; ++i) {
      HWND before = focusedWindow(c.window);
      pressKey(c.window, VK_TAB, kNoMod, where);
      waitFor([&] { return focusedWindow(c.window) != before; }, 1000);
    }
    const bool ok = focusedWindow(c.window) == target;
    if (!ok) {
      KESTRANA_FAIL_AT(where) << "could not Tab to " << name(target) << "; focus is on "
                              << name(focusedWindow(c.window));
    }
    return ok;
  }

  // The six tab stops in the order Tab walks them.
  static std::array<HWND, 6> tabOrder(const MainWindowControls& c) {
    return {c.manual, c.automatic, c.disabled, c.apply, c.exit, c.about};
  }
};

// ---------------------------------------------------------------- frame

// Guards against a resizable, minimizable, owned, tool or topmost window, a
// wrong size or a window not centred on the screen.
TEST_F(MainWindow, FrameIsFixedCentredUnownedAndHasNoMenu) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.window);
  EXPECT_EQ(windowText(c.window), "Kestrana");

  const RECT r = outerRect(c.window);
  const RECT want = centredOnScreen(350, 330);
  EXPECT_TRUE(EqualRect(&r, &want)) << "expected outer " << describe(want) << " got " << describe(r);

  expectBits("caption and system menu; no thick frame, minimize or maximize box; top-level", styleOf(c.window),
             WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD,
             WS_CAPTION | WS_SYSMENU);
  const DWORD ex = exStyleOf(c.window);
  expectBits("neither a tool window nor topmost", ex, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 0);
  EXPECT_EQ(ownerOf(c.window), nullptr) << "owner " << name(ownerOf(c.window));
  // A taskbar button: an unowned window that is not a tool window, or one
  // that asks for it.
  EXPECT_TRUE((ex & WS_EX_APPWINDOW) || (!ownerOf(c.window) && !(ex & WS_EX_TOOLWINDOW)))
      << "ex-style " << hex(ex);

  EXPECT_EQ(GetMenu(c.window), nullptr);
}

// Guards against a window without the program's own icon. Another process's
// WM_GETICON reads as 0 under Wine, so the small icon is looked for where it
// is drawn: at the left of the title bar. (The large one is drawn nowhere
// without a taskbar.)
TEST_F(MainWindow, TitleBarShowsTheProgramsSmallIcon) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.window);
  HICON icon = loadProgramIcon(16);
  ASSERT_NE(icon, nullptr) << "the program file has no DEFAULT_ICON at 16x16";
  const Capture shot = captureWindow(c.window);
  ASSERT_FALSE(shot.empty());
  // The title bar: from the window's top down to the client area.
  const POINT client = clientOriginOnScreen(c.window);
  const RECT titleBar{0, 0, 64, client.y - shot.origin().y};
  POINT at{-1, -1};
  const double match = bestIconMatch(shot, icon, titleBar, &at);
  EXPECT_GE(match, 0.9) << "expected the program icon in the title bar " << describe(titleBar)
                        << "; best match " << match << " at (" << at.x << "," << at.y << ")";
  DestroyIcon(icon);
  keepPicture(shot, "title-icon");
}

// ---------------------------------------------------------------- layout

struct ControlRow {
  const char* name;
  bool label;  // TransLabel; otherwise a BUTTON
  DWORD buttonType;
  RECT rect;  // left, top, right, bottom in client coordinates
  const char* text;
};

constexpr ControlRow kLayout[] = {
    {"透明标签1", true, 0, {16, 16, 16 + 312, 16 + 24}, "请选择USB接口运行状态"},
    {"透明标签2", true, 0, {24, 163, 24 + 296, 163 + 101}, kNotice},
    {"关于", false, BS_PUSHBUTTON, {64, 262, 64 + 80, 262 + 32}, "关于(&A)"},
    {"退出", false, BS_PUSHBUTTON, {256, 262, 256 + 80, 262 + 32}, "退出(&X)"},
    {"确定", false, BS_PUSHBUTTON, {160, 262, 160 + 80, 262 + 32}, "应用设置(&S)"},
    {"禁用", false, BS_AUTORADIOBUTTON, {16, 128, 16 + 312, 128 + 24}, "禁用"},
    {"自动", false, BS_AUTORADIOBUTTON, {16, 56, 16 + 312, 56 + 24}, "自动启用"},
    {"手动", false, BS_AUTORADIOBUTTON, {16, 92, 16 + 312, 92 + 24}, "手动启用"},
};

// Guards against controls in the wrong stacking order, place, size, class,
// text or style (a default push button, a group break, a stray tab stop).
TEST_F(MainWindow, ControlsInStackingOrderWithTheirPlacesTextsAndStyles) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.window);
  const std::vector<HWND> children = childrenOf(c.window);
  ASSERT_EQ(children.size(), std::size(kLayout));

  for (std::size_t i = 0; i < children.size(); ++i) {
    const ControlRow& row = kLayout[i];
    HWND hwnd = children[i];
    SCOPED_TRACE(utf8(std::string("control ") + std::to_string(i) + " " + row.name + ": " + describe(hwnd)));

    const std::string cls = className(hwnd);
    if (row.label) {
      EXPECT_EQ(cls, kLabelClass);
    } else {
      EXPECT_EQ(lstrcmpiA(cls.c_str(), "BUTTON"), 0) << "expected class BUTTON got " << cls;
    }
    const RECT r = rectInParent(hwnd);
    EXPECT_TRUE(EqualRect(&r, &row.rect)) << "expected " << describe(row.rect) << " got " << describe(r);
    EXPECT_EQ(windowText(hwnd), row.text) << "expected \"" << utf8(row.text) << "\" got \""
                                          << utf8(windowText(hwnd)) << "\"";

    // The BUTTON class clears WS_TABSTOP on a radio button whenever it is
    // unchecked; the program keeps its six declared stops regardless.
    expectBits("visible, enabled, no group break, a tab stop on buttons only", styleOf(hwnd),
               WS_VISIBLE | WS_DISABLED | WS_GROUP | WS_TABSTOP, WS_VISIBLE | (row.label ? 0 : WS_TABSTOP));
    if (!row.label) {
      expectBits("button type, multi-line", styleOf(hwnd), BS_TYPEMASK | BS_MULTILINE, row.buttonType | BS_MULTILINE);
    }
  }
}

// ---------------------------------------------------------------- keyboard

// Guards against a Tab order other than the reverse stacking order, or one
// that stops at either end instead of wrapping; and against Tab checking a
// radio button it lands on.
TEST_F(MainWindow, TabWalksTheSixStopsForwardAndWrapsWithoutChecking) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  const auto order = tabOrder(c);
  HWND first = focusedWindow(c.window);
  const auto start = std::find(order.begin(), order.end(), first);
  ASSERT_NE(start, order.end()) << "initial focus is not a tab stop: " << name(first);
  std::size_t at = static_cast<std::size_t>(start - order.begin());
  for (int step = 1; step <= 7; ++step) {
    at = (at + 1) % order.size();
    SCOPED_TRACE(std::string("Tab #").append(std::to_string(step)));
    pressKey(c.window, VK_TAB);
    if (!waitFocus(c.window, order[at])) break;
    expectChoices(c, onlyChecked(c, c.manual));
  }
  expectStartValue(3);
}

TEST_F(MainWindow, ShiftTabWalksTheSixStopsBackwardAndWraps) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  const auto order = tabOrder(c);
  HWND first = focusedWindow(c.window);
  const auto start = std::find(order.begin(), order.end(), first);
  ASSERT_NE(start, order.end()) << "initial focus is not a tab stop: " << name(first);
  std::size_t at = static_cast<std::size_t>(start - order.begin());
  for (int step = 1; step <= 7; ++step) {
    at = (at + order.size() - 1) % order.size();
    SCOPED_TRACE(std::string("Shift+Tab #").append(std::to_string(step)));
    pressKey(c.window, VK_TAB, kShift);
    if (!waitFocus(c.window, order[at])) break;
    expectChoices(c, onlyChecked(c, c.manual));
  }
}

// Guards against arrows that stop at the ends, leave two radios checked, do
// not move the focus, or write the choice before Apply.
TEST_F(MainWindow, ArrowsMoveBetweenRadiosWithWrapCheckingOnlyTheOneReached) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  ASSERT_TRUE(tabTo(c, c.manual));

  struct Step {
    WORD key;
    const char* keyName;
    HWND reached;
  };
  const Step steps[] = {
      {VK_DOWN, "Down", c.automatic},  {VK_DOWN, "Down", c.disabled},  {VK_DOWN, "Down", c.manual},
      {VK_RIGHT, "Right", c.automatic}, {VK_RIGHT, "Right", c.disabled}, {VK_RIGHT, "Right", c.manual},
      {VK_UP, "Up", c.disabled},       {VK_UP, "Up", c.automatic},     {VK_UP, "Up", c.manual},
      {VK_LEFT, "Left", c.disabled},   {VK_LEFT, "Left", c.automatic}, {VK_LEFT, "Left", c.manual},
  };
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string("step ") + std::to_string(++n) + " " + s.keyName + " to " + name(s.reached));
    pressKey(c.window, s.key);
    if (!waitFocus(c.window, s.reached)) break;
    waitFor([&] { return checkState(s.reached) == BST_CHECKED; }, 1000);
    expectChoices(c, onlyChecked(c, s.reached));
  }
  settle(c.window);
  expectStartValue(3);
  lastProgram().expectStillRunning();
}

// Guards against a default button: Enter must not apply, exit or open About.
TEST_F(MainWindow, EnterOnAFocusedButtonPressesNothing) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  const std::pair<HWND, const char*> buttons[] = {{c.apply, "确定"}, {c.exit, "退出"}, {c.about, "关于"}};
  for (const auto& [button, label] : buttons) {
    SCOPED_TRACE(utf8(label));
    ASSERT_TRUE(tabTo(c, button));
    pressKey(c.window, VK_RETURN);
    settle(c.window, 500);
    program.expectStillRunning(0);
    const std::vector<HWND> windows = program.windows();
    EXPECT_EQ(windows.size(), 1u) << "a window appeared: " << name(windows.empty() ? nullptr : windows[0])
                                  << (windows.size() > 1 ? " / " + name(windows[1]) : "");
    EXPECT_EQ(focusedWindow(c.window), button) << "focus moved to " << name(focusedWindow(c.window));
    expectChoices(c, onlyChecked(c, c.manual));
    expectStartValue(3);
    if (HWND box = findMessageBox(program.pid())) {
      ADD_FAILURE() << "message box \"" << utf8(readMessageBox(box).text) << "\"";
      return;
    }
  }
}

// Guards against Esc being left to the focused control: from every stop it
// has to close the window and end the program with code 0.
TEST_F(MainWindow, EscapeFromEveryTabStopEndsTheProgramWithZero) {
  const char* labels[] = {"手动", "自动", "禁用", "确定", "退出", "关于"};
  for (int stop = 0; stop < 6; ++stop) {
    SCOPED_TRACE(utf8(std::string("focus on ") + labels[stop]));
    const MainWindowControls c = launchMain();
    ASSERT_TRUE(c.complete());
    ASSERT_TRUE(tabTo(c, tabOrder(c)[stop]));
    pressKey(c.window, VK_ESCAPE);
    lastProgram().expectExit(0);
  }
}

// Guards against the close paths leaving the process running or ending it
// with another code.
TEST_F(MainWindow, CloseBoxSystemMenuAndAltF4EndTheProgramWithZero) {
  struct Way {
    const char* name;
    std::function<void(HWND)> close;
  };
  const Way ways[] = {
      {"WM_CLOSE", [](HWND w) { postClose(w); }},
      {"SC_CLOSE", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Alt+F4", [](HWND w) { pressKey(w, VK_F4, kAlt); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    const MainWindowControls c = launchMain();
    ASSERT_TRUE(c.window);
    way.close(c.window);
    lastProgram().expectExit(0);
  }
}

TEST_F(MainWindow, ExitButtonEndsTheProgramAtOnceWithZero) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  pressButton(c.exit);
  lastProgram().expectExit(0, 2000);
  expectStartValue(3);
}

// Guards against the program reading its command line.
TEST_F(MainWindow, CommandLineArgumentsChangeNothing) {
  const MainWindowControls plain = launchMain();
  ASSERT_TRUE(plain.complete());
  std::vector<std::string> expected;
  for (HWND h : childrenOf(plain.window)) expected.push_back(describe(rectInParent(h)) + " " + windowText(h));
  const RECT plainRect = outerRect(plain.window);
  postClose(plain.window);
  lastProgram().expectExit(0);

  for (const char* args : {"/foo bar --help", "-s 4", "/?"}) {
    SCOPED_TRACE(args);
    const MainWindowControls c = launchMain(args);
    ASSERT_TRUE(c.complete());
    EXPECT_EQ(windowText(c.window), "Kestrana");
    const RECT r = outerRect(c.window);
    EXPECT_TRUE(EqualRect(&r, &plainRect)) << "expected " << describe(plainRect) << " got " << describe(r);
    std::vector<std::string> seen;
    for (HWND h : childrenOf(c.window)) seen.push_back(describe(rectInParent(h)) + " " + windowText(h));
    EXPECT_EQ(seen, expected);
    expectChoices(c, onlyChecked(c, c.manual));
    EXPECT_EQ(lastProgram().windows().size(), 1u);
    expectStartValue(3);
    postClose(c.window);
    lastProgram().expectExit(0);
  }
}

// Guards against a single-instance check or shared state between copies.
TEST_F(MainWindow, TwoCopiesRunSideBySideAndEachClosesWithZero) {
  Program& first = launch();
  Program& second = launch();
  const MainWindowControls a = waitMainWindowControls(first);
  const MainWindowControls b = waitMainWindowControls(second);
  ASSERT_TRUE(a.complete());
  ASSERT_TRUE(b.complete());
  EXPECT_NE(a.window, b.window);
  EXPECT_NE(first.pid(), second.pid());
  EXPECT_TRUE(isVisible(a.window));
  EXPECT_TRUE(isVisible(b.window));
  expectChoices(a, onlyChecked(a, a.manual));
  expectChoices(b, onlyChecked(b, b.manual));

  postClose(a.window);
  first.expectExit(0);
  second.expectStillRunning();
  EXPECT_TRUE(isVisible(b.window));
  postClose(b.window);
  second.expectExit(0);
}

// ---------------------------------------------------------------- mouse

// Guards against radios that do not clear each other when clicked, or a
// click that writes the choice before Apply.
TEST_F(MainWindow, ClickingDisabledThenAutomaticLeavesOnlyAutomaticChecked) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  clickCenter(c.disabled);
  ASSERT_TRUE(waitFor([&] { return checkState(c.disabled) == BST_CHECKED; }, 2000)) << describe(readChoices(c));
  expectChoices(c, onlyChecked(c, c.disabled));
  expectStartValue(3);

  clickCenter(c.automatic);
  ASSERT_TRUE(waitFor([&] { return checkState(c.automatic) == BST_CHECKED; }, 2000)) << describe(readChoices(c));
  settle(c.window);
  expectChoices(c, onlyChecked(c, c.automatic));
  expectStartValue(3);
  // The click unchecked the others, which must stay tab stops all the same.
  for (HWND radio : {c.manual, c.automatic, c.disabled}) {
    SCOPED_TRACE(utf8(windowText(radio)));
    expectBits("tab stop", styleOf(radio), WS_TABSTOP, WS_TABSTOP);
  }
  lastProgram().expectStillRunning(0);
  EXPECT_EQ(lastProgram().windows().size(), 1u);
}

// Guards against a notice that is not red, not wrapped within its label, or
// drawn (or painted over) outside its rectangle.
TEST_F(MainWindow, NoticeIsRedTextWrappedWithinItsLabel) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  const Capture shot = captureWindow(c.window);
  ASSERT_FALSE(shot.empty());
  const RECT client = shot.toCapture(c.window, clientRectOf(c.window));
  const RECT label = shot.toCapture(c.window, rectInParent(c.notice));

  std::vector<int> redPerRow;
  int redOutside = 0;
  POINT firstOutside{-1, -1};
  int redAtRightEdge = 0;
  constexpr int kEdge = 2;
  for (int y = client.top; y < client.bottom; ++y) {
    int inRow = 0;
    for (int x = client.left; x < client.right; ++x) {
      if (!isRedInk(shot.at(x, y))) continue;
      const POINT pt{x, y};
      if (!PtInRect(&label, pt)) {
        if (!redOutside++) firstOutside = POINT{x - client.left, y - client.top};
        continue;
      }
      ++inRow;
      if (x >= label.right - kEdge) ++redAtRightEdge;
    }
    if (y >= label.top && y < label.bottom) redPerRow.push_back(inRow);
  }
  // Runs of pixel rows holding red, separated by rows without: text lines.
  int textRows = 0;
  int redPixels = 0;
  bool inText = false;
  for (int n : redPerRow) {
    redPixels += n;
    if (n > 0 && !inText) ++textRows;
    inText = n > 0;
  }
  EXPECT_GE(redPixels, 500) << "expected plenty of red text pixels in the notice got " << redPixels;
  EXPECT_GE(textRows, 5) << "expected at least 5 rows of red text (three lines, wrapped) got " << textRows;
  EXPECT_EQ(redOutside, 0) << "red pixels outside the notice's rectangle " << describe(rectInParent(c.notice))
                           << ", first at client (" << firstOutside.x << "," << firstOutside.y << ")";
  EXPECT_EQ(redAtRightEdge, 0) << "expected no red in the notice's last " << kEdge
                               << " pixel columns (text wraps inside 296 px) got " << redAtRightEdge;
  keepPicture(shot, "notice");
}

// Guards against a heading drawn in colour, with a background of its own,
// or not drawn at all; and a window background other than button face.
TEST_F(MainWindow, HeadingIsBlackOnButtonFaceAndTheBackgroundIsButtonFace) {
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  const Capture shot = captureWindow(c.window);
  ASSERT_FALSE(shot.empty());
  const Pixel face = pixelOf(GetSysColor(COLOR_BTNFACE));

  // Empty client areas: the left margin, between heading and first radio,
  // and right of the heading's text.
  const POINT empty[] = {{8, 8}, {8, 150}, {170, 48}, {4, 250}, {340, 100}};
  for (const POINT& p : empty) {
    const Pixel got = shot.atClient(c.window, p.x, p.y);
    EXPECT_EQ(got, face) << "at client (" << p.x << "," << p.y << "): expected button face " << describe(face)
                         << " got " << describe(got);
  }

  const RECT heading = shot.toCapture(c.window, rectInParent(c.heading));
  int dark = 0;
  int faceCount = 0;
  int coloured = 0;
  Pixel firstColoured;
  const int faceSpread = std::max({face.r, face.g, face.b}) - std::min({face.r, face.g, face.b});
  for (int y = heading.top; y < heading.bottom; ++y) {
    for (int x = heading.left; x < heading.right; ++x) {
      const Pixel p = shot.at(x, y);
      if (isDarkInk(p)) ++dark;
      if (p == face) ++faceCount;
      const int spread = std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b});
      if (spread > faceSpread + 24 && !coloured++) firstColoured = p;
    }
  }
  const int area = (heading.right - heading.left) * (heading.bottom - heading.top);
  EXPECT_GE(dark, 100) << "expected black text pixels in the heading got " << dark;
  EXPECT_GT(faceCount, area / 2) << "expected mostly button face " << describe(face) << " behind the heading got "
                                 << faceCount << " of " << area;
  EXPECT_EQ(coloured, 0) << "expected only black, grey and button face in the heading; first other "
                         << describe(firstColoured);
  keepPicture(shot, "heading");
}

}  // namespace
