// The generic window builder: windows described as tables become real
// windows whose order, texts, styles, size and place follow the table.
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/window_layout.h"
#include "platform/windows_win.h"
#include "support/expect.h"
#include "ui/controls_win.h"

using namespace kestrana;
using namespace kestrana_test;

namespace {

enum : int { kOk = 11, kCancel = 12, kAuto = 21, kManual = 22, kOff = 23, kLabel = 31, kNotes = 41 };

constexpr ControlLayout kControls[] = {
    {.id = kLabel, .name = "label", .kind = ControlKind::TransLabel,
     .left = 12, .top = 8, .width = 300, .height = 20, .text = "请选择USB接口运行状态",
     .color = kRed, .font = FontKind::Label},
    {.id = kOk, .name = "ok", .kind = ControlKind::PushButton,
     .left = 150, .top = 150, .width = 75, .height = 26, .text = "确定(&O)", .tabStop = true},
    {.id = kCancel, .name = "cancel", .kind = ControlKind::PushButton,
     .left = 232, .top = 150, .width = 75, .height = 26, .text = "取消", .tabStop = true},
    {.id = kAuto, .name = "auto", .kind = ControlKind::RadioBox,
     .left = 12, .top = 34, .width = 140, .height = 22, .text = "自动启用", .tabStop = true},
    {.id = kManual, .name = "manual", .kind = ControlKind::RadioBox,
     .left = 12, .top = 60, .width = 140, .height = 22, .text = "手动启用"},
    {.id = kOff, .name = "off", .kind = ControlKind::RadioBox,
     .left = 12, .top = 86, .width = 140, .height = 22, .text = "禁用", .tabStop = true},
    {.id = kNotes, .name = "notes", .kind = ControlKind::EditBox,
     .left = 160, .top = 34, .width = 150, .height = 100, .text = "第一行\r\n第二行", .tabStop = true},
};

// What the created handler saw.
struct CreatedRecord {
  int calls = 0;
  bool windowKnown = false;
  bool windowVisible = true;
  int controlsPresent = 0;
};
CreatedRecord g_created;

int g_clicks[3] = {0, 0, 0};  // auto, manual, off

void onCreated();

constexpr Binding kBindings[] = {
    {kWindowItself, Event::Created, onCreated},
    {kAuto, Event::Clicked, [] { ++g_clicks[0]; }},
    {kManual, Event::Clicked, [] { ++g_clicks[1]; }},
    {kOff, Event::Clicked, [] { ++g_clicks[2]; }},
};

// Odd sizes on purpose: centring must round the same way as (screen - w) / 2.
const WindowLayout kTestWindow = makeWindow("测试窗口", 333, 211, Frame{}, kControls, kBindings);

void onCreated() {
  ++g_created.calls;
  HWND hwnd = windowHandle(kTestWindow);
  g_created.windowKnown = hwnd != nullptr;
  g_created.windowVisible = hwnd && IsWindowVisible(hwnd);
  for (const ControlLayout& c : kControls) {
    HWND control = controlHandle(kTestWindow, c.id);
    if (control && IsWindow(control) && GetParent(control) == hwnd) ++g_created.controlsPresent;
  }
}

constexpr ControlLayout kOneButton[] = {
    {.id = kOk, .name = "ok", .kind = ControlKind::PushButton,
     .left = 10, .top = 10, .width = 80, .height = 26, .text = "关闭", .tabStop = true},
};
constexpr Binding kNoBindings[] = {{kOk, Event::Clicked, nullptr}};

const WindowLayout kToolWindow =
    makeWindow("工具窗口", 401, 299, Frame{.resizable = true, .toolWindow = true}, kOneButton, kNoBindings);
const WindowLayout kBoxedWindow = makeWindow(
    "带按钮的窗口", 250, 180, Frame{.minimizeBox = true, .maximizeBox = true}, kOneButton, kNoBindings);

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    g_created = {};
    for (int& n : g_clicks) n = 0;
  }
  void TearDown() override {
    for (const WindowLayout* window : {&kTestWindow, &kToolWindow, &kBoxedWindow}) {
      if (HWND hwnd = windowHandle(*window)) DestroyWindow(hwnd);
    }
    pumpPending();
    dropQuitMessage();
  }
};

// A radio button that reports a chosen check state.
WNDPROC g_buttonProc = nullptr;
LRESULT g_checkState = BST_UNCHECKED;
LRESULT CALLBACK answerCheckState(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == BM_GETCHECK) return g_checkState;
  return CallWindowProcA(g_buttonProc, hwnd, msg, wParam, lParam);
}

}  // namespace

// The created handler runs once, with every control made and the window
// still hidden; only then is the window shown.
TEST_F(WindowTest, CreatedHandlerRunsHiddenThenWindowIsShown) {
  ASSERT_TRUE(openStartWindow(kTestWindow));
  HWND hwnd = windowHandle(kTestWindow);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(g_created.calls, 1);
  EXPECT_TRUE(g_created.windowKnown) << "the window was not known by its table in its created handler";
  EXPECT_FALSE(g_created.windowVisible) << "the window was already visible when its created handler ran";
  EXPECT_EQ(g_created.controlsPresent, static_cast<int>(std::size(kControls)))
      << "expected every control to exist when the created handler runs";
  EXPECT_TRUE(IsWindowVisible(hwnd)) << "the window is not shown after opening";
  EXPECT_FALSE(openStartWindow(kTestWindow)) << "a window already open was opened a second time";
  EXPECT_EQ(g_created.calls, 1);
}

// Outer size forced, centred on the screen, caption and frame as the table
// says.
TEST_F(WindowTest, FrameSizeCentringAndCaption) {
  struct Expected {
    const WindowLayout* window;
    DWORD style;    // exact under kFrameMask
    DWORD exStyle;  // exact under WS_EX_TOOLWINDOW
  };
  constexpr DWORD kFrameMask = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD;
  const Expected cases[] = {
      {&kTestWindow, WS_CAPTION | WS_SYSMENU, 0},
      {&kToolWindow, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_EX_TOOLWINDOW},
      {&kBoxedWindow, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0},
  };
  const int screenW = GetSystemMetrics(SM_CXSCREEN);
  const int screenH = GetSystemMetrics(SM_CYSCREEN);
  for (const Expected& c : cases) {
    SCOPED_TRACE(shown(c.window->caption));
    ASSERT_TRUE(openStartWindow(*c.window));
    HWND hwnd = windowHandle(*c.window);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(shown(windowText(hwnd)), shown(c.window->caption));
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, c.window->width) << "outer width";
    EXPECT_EQ(r.bottom - r.top, c.window->height) << "outer height";
    EXPECT_EQ(r.left, (screenW - c.window->width) / 2) << "left edge on a screen " << screenW << " wide";
    EXPECT_EQ(r.top, (screenH - c.window->height) / 2) << "top edge on a screen " << screenH << " high";
    EXPECT_EQ(GetParent(hwnd), nullptr) << "expected a top-level window";
    expectBits("frame", static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), kFrameMask, c.style);
    expectBits("extended frame", static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)),
                WS_EX_TOOLWINDOW, c.exStyle);
    DestroyWindow(hwnd);
    EXPECT_EQ(windowHandle(*c.window), nullptr) << "a destroyed window is still known as open";
    dropQuitMessage();
  }
}

// Stacking order, ids, texts and places of the controls follow the table.
TEST_F(WindowTest, ControlsFollowTheTable) {
  ASSERT_TRUE(openStartWindow(kTestWindow));
  HWND hwnd = windowHandle(kTestWindow);
  ASSERT_NE(hwnd, nullptr);

  const std::vector<HWND> stacked = childrenOf(hwnd);
  std::vector<HWND> inTable;
  for (const ControlLayout& c : kControls) inTable.push_back(controlHandle(kTestWindow, c.id));
  ASSERT_EQ(stacked.size(), inTable.size()) << "number of child windows";
  for (std::size_t i = 0; i < inTable.size(); ++i) {
    const ControlLayout& c = kControls[i];
    SCOPED_TRACE(std::string("control ") + c.name);
    ASSERT_NE(inTable[i], nullptr);
    EXPECT_EQ(stacked[i], inTable[i]) << "position " << i << " from the top of the stacking order holds "
                                      << "the wrong control";
    EXPECT_EQ(GetDlgCtrlID(inTable[i]), c.id) << "control id";
    EXPECT_EQ(shown(windowText(inTable[i])), shown(c.text)) << "window text (WM_GETTEXT)";
    RECT r{};
    GetWindowRect(inTable[i], &r);
    MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
  }
}

// Push buttons are never default buttons, the radio buttons form one group
// (no WS_GROUP anywhere), Tab stops are exactly where the table puts them.
TEST_F(WindowTest, ControlClassesAndStyles) {
  ASSERT_TRUE(openStartWindow(kTestWindow));
  pumpPending();  // focus and activation have happened
  const HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
  for (const ControlLayout& c : kControls) {
    SCOPED_TRACE(std::string("control ") + c.name);
    HWND control = controlHandle(kTestWindow, c.id);
    ASSERT_NE(control, nullptr);
    const auto style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE));
    const std::string cls = className(control);

    expectBits("child, visible, enabled", style, WS_CHILD | WS_VISIBLE | WS_DISABLED, WS_CHILD | WS_VISIBLE);
    expectBits("WS_GROUP", style, WS_GROUP, 0);
    expectBits("WS_TABSTOP", style, WS_TABSTOP, c.tabStop ? WS_TABSTOP : 0);
    switch (c.kind) {
      case ControlKind::PushButton:
        EXPECT_EQ(_stricmp(cls.c_str(), "Button"), 0) << "class " << cls;
        expectBits("button type (BS_PUSHBUTTON, not BS_DEFPUSHBUTTON)", style, BS_TYPEMASK, BS_PUSHBUTTON);
        expectBits("BS_MULTILINE", style, BS_MULTILINE, BS_MULTILINE);
        break;
      case ControlKind::RadioBox:
        EXPECT_EQ(_stricmp(cls.c_str(), "Button"), 0) << "class " << cls;
        expectBits("button type (BS_AUTORADIOBUTTON)", style, BS_TYPEMASK, BS_AUTORADIOBUTTON);
        expectBits("BS_MULTILINE", style, BS_MULTILINE, BS_MULTILINE);
        break;
      case ControlKind::EditBox:
        EXPECT_EQ(_stricmp(cls.c_str(), "Edit"), 0) << "class " << cls;
        expectBits("multi-line edit, Enter makes a new line", style, ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                    ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN);
        expectBits("wraps: no horizontal scrolling", style, ES_AUTOHSCROLL | WS_HSCROLL, 0);
        expectBits("left aligned", style, ES_CENTER | ES_RIGHT, 0);
        expectBits("sunken edge", exStyle, WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
        break;
      case ControlKind::TransLabel:
        EXPECT_EQ(cls, kTransLabelClass);
        break;
      case ControlKind::PicBox:
        break;
    }
    if (c.kind == ControlKind::PushButton || c.kind == ControlKind::RadioBox || c.kind == ControlKind::EditBox) {
      EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)), guiFont)
          << "expected DEFAULT_GUI_FONT";
    }
  }
}

// setChecked touches that one choice and raises no click; a user's click
// clears the others because all choices of a window are one group.
TEST_F(WindowTest, SetCheckedAndIsChecked) {
  ASSERT_TRUE(openStartWindow(kTestWindow));
  auto checkState = [](int id) { return SendMessageA(controlHandle(kTestWindow, id), BM_GETCHECK, 0, 0); };
  auto states = [] {
    std::string s;
    for (int id : {kAuto, kManual, kOff}) s += isChecked(kTestWindow, id) ? '1' : '0';
    return s;
  };
  EXPECT_EQ(states(), "000") << "auto/manual/off checked";

  setChecked(kTestWindow, kAuto, true);
  EXPECT_EQ(checkState(kAuto), BST_CHECKED);
  EXPECT_EQ(states(), "100") << "auto/manual/off checked after setChecked(auto, true)";

  setChecked(kTestWindow, kManual, true);
  EXPECT_EQ(states(), "110") << "setChecked(manual, true) must leave auto checked";

  setChecked(kTestWindow, kAuto, false);
  EXPECT_EQ(checkState(kAuto), BST_UNCHECKED);
  EXPECT_EQ(states(), "010") << "after setChecked(auto, false)";

  setChecked(kTestWindow, kOff, true);
  setChecked(kTestWindow, kOff, true);
  EXPECT_EQ(states(), "011") << "setting a checked choice again";
  pumpPending();
  EXPECT_EQ(g_clicks[0] + g_clicks[1] + g_clicks[2], 0) << "setChecked raised a click event";

  // A click by the user: the automatic radio behaviour clears the group.
  setChecked(kTestWindow, kAuto, true);
  SendMessageA(controlHandle(kTestWindow, kManual), BM_CLICK, 0, 0);
  pumpPending();
  EXPECT_EQ(states(), "010") << "after clicking manual with auto and off checked";
  EXPECT_EQ(g_clicks[1], 1) << "clicks on manual";
  EXPECT_EQ(g_clicks[0] + g_clicks[2], 0) << "clicks on the others";
}

// Only BST_CHECKED counts as checked, not any non-zero state.
TEST_F(WindowTest, IsCheckedOnlyForBstChecked) {
  ASSERT_TRUE(openStartWindow(kTestWindow));
  HWND manual = controlHandle(kTestWindow, kManual);
  ASSERT_NE(manual, nullptr);
  g_buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(manual, GWLP_WNDPROC));
  SetWindowLongPtrA(manual, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(answerCheckState));
  struct Case {
    LRESULT state;
    bool checked;
  };
  for (const Case c : {Case{BST_UNCHECKED, false}, Case{BST_CHECKED, true}, Case{BST_INDETERMINATE, false}}) {
    SCOPED_TRACE("BM_GETCHECK answers " + std::to_string(c.state));
    g_checkState = c.state;
    ASSERT_EQ(SendMessageA(manual, BM_GETCHECK, 0, 0), c.state);
    EXPECT_EQ(isChecked(kTestWindow, kManual), c.checked) << "isChecked";
  }
  SetWindowLongPtrA(manual, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_buttonProc));
}
