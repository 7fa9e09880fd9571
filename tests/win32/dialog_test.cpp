// loadWindow as a dialog and closeWindow: which windows are disabled while
// a dialog is up, when they come back, and when loadWindow returns. The
// steps run from messages posted to a helper window, so that they run
// inside whichever message loop is current, nested ones included.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/window_layout.h"
#include "platform/windows_win.h"
#include "support/support.h"

using namespace kestrana;

namespace {

enum : int { kButton = 11, kEdit = 12, kSecond = 13 };

constexpr ControlLayout kOpenerControls[] = {
    {.id = kButton, .name = "open", .kind = ControlKind::PushButton,
     .left = 10, .top = 10, .width = 100, .height = 26, .text = "关于(&A)", .tabStop = true},
};
constexpr ControlLayout kDialogControls[] = {
    {.id = kButton, .name = "ok", .kind = ControlKind::PushButton,
     .left = 10, .top = 90, .width = 80, .height = 26, .text = "确定", .tabStop = true},
    {.id = kSecond, .name = "more", .kind = ControlKind::PushButton,
     .left = 100, .top = 90, .width = 80, .height = 26, .text = "更多", .tabStop = true},
    {.id = kEdit, .name = "log", .kind = ControlKind::EditBox,
     .left = 10, .top = 10, .width = 170, .height = 70, .text = "更新日志", .tabStop = true},
};
constexpr Binding kNone[] = {{kButton, Event::Clicked, nullptr}};

const WindowLayout kOpener = makeWindow("主窗口", 350, 330, Frame{}, kOpenerControls, kNone);
const WindowLayout kBystander = makeWindow("另一个窗口", 200, 150, Frame{}, kOpenerControls, kNone);
const WindowLayout kDialog = makeWindow("关于", 260, 180, Frame{}, kDialogControls, kNone);
const WindowLayout kInner = makeWindow("更新日志", 240, 160, Frame{}, kDialogControls, kNone);

const WindowLayout* const kAllWindows[] = {&kInner, &kDialog, &kBystander, &kOpener};

constexpr UINT kRunStep = WM_APP + 1;
constexpr DWORD kWatchdogMs = 15000;
constexpr int kWatchdogQuitCode = 99;

std::vector<std::function<void()>> g_steps;
HWND g_stepWindow = nullptr;
bool g_timedOut = false;

LRESULT CALLBACK stepProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kRunStep) {
    if (wParam < g_steps.size()) g_steps[wParam]();
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Runs step i when the current message loop next gets to it.
void post(std::size_t i) { PostMessageA(g_stepWindow, kRunStep, i, 0); }

void destroyAll() {
  for (const WindowLayout* window : kAllWindows) {
    if (HWND hwnd = windowHandle(*window)) DestroyWindow(hwnd);
  }
}

void CALLBACK watchdog(HWND, UINT, UINT_PTR, DWORD) {
  g_timedOut = true;
  destroyAll();
  PostQuitMessage(kWatchdogQuitCode);
}

bool enabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }

class DialogTest : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = stepProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KestranaTestSteps";
    RegisterClassA(&wc);
    g_stepWindow = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                   nullptr);
    ASSERT_NE(g_stepWindow, nullptr);
    g_timedOut = false;
    watchdog_ = SetTimer(nullptr, 0, kWatchdogMs, watchdog);
  }
  void TearDown() override {
    KillTimer(nullptr, watchdog_);
    destroyAll();
    DestroyWindow(g_stepWindow);
    g_steps.clear();
    kestrana_test::pumpPending();
    kestrana_test::dropQuitMessage();
  }

  // Opens the start window, then runs the steps from its message loop
  // until that loop ends; returns the loop's code.
  int runFromStartWindow(std::vector<std::function<void()>> steps) {
    g_steps = std::move(steps);
    if (!openStartWindow(kOpener)) {
      ADD_FAILURE() << "the start window could not be opened";
      return -1;
    }
    post(0);
    const int code = runMessageLoop();
    EXPECT_FALSE(g_timedOut) << "the steps did not finish within " << kWatchdogMs << " ms";
    return code;
  }

  UINT_PTR watchdog_ = 0;
};

// What one dialog case observed.
struct Seen {
  HWND dialog = nullptr;
  bool openerEnabledInside = true;
  bool dialogVisibleInside = false;
  bool dialogEnabledInside = false;
  bool returnedBeforeClose = true;
  bool existsRightAfterClose = false;
  bool knownRightAfterClose = false;
  bool loadResult = false;
  bool returned = false;
  bool dialogExistsAtReturn = true;
  bool openerEnabledAtReturn = false;
};

}  // namespace

// closeWindow only asks: the dialog goes when the loop delivers the
// request, and only then does loadWindow return, with the opener enabled.
TEST_F(DialogTest, CloseWindowEndsTheDialogThroughTheLoop) {
  Seen seen;
  HWND opener = nullptr;
  const int code = runFromStartWindow({
      [&] {
        opener = windowHandle(kOpener);
        post(1);
        seen.loadResult = loadWindow(kDialog, true);
        seen.returned = true;
        seen.dialogExistsAtReturn = IsWindow(seen.dialog) != FALSE;
        seen.openerEnabledAtReturn = enabled(opener);
        post(2);
      },
      [&] {
        seen.dialog = windowHandle(kDialog);
        seen.openerEnabledInside = enabled(opener);
        seen.dialogVisibleInside = IsWindowVisible(seen.dialog) != FALSE;
        seen.dialogEnabledInside = enabled(seen.dialog);
        seen.returnedBeforeClose = seen.returned;
        closeWindow(kDialog);
        seen.existsRightAfterClose = IsWindow(seen.dialog) != FALSE;
        seen.knownRightAfterClose = windowHandle(kDialog) != nullptr;
      },
      [&] { DestroyWindow(opener); },
  });
  EXPECT_EQ(code, 0) << "the loop ends with 0 when the last window is gone";
  ASSERT_NE(seen.dialog, nullptr) << "the dialog was not open inside its loop";
  EXPECT_FALSE(seen.returnedBeforeClose) << "loadWindow returned while the dialog was still open";
  EXPECT_FALSE(seen.openerEnabledInside) << "expected the opener disabled while the dialog is up";
  EXPECT_TRUE(seen.dialogVisibleInside);
  EXPECT_TRUE(seen.dialogEnabledInside) << "the dialog disabled itself";
  EXPECT_TRUE(seen.existsRightAfterClose) << "closeWindow destroyed the window at once instead of by request";
  EXPECT_TRUE(seen.knownRightAfterClose);
  EXPECT_TRUE(seen.returned);
  EXPECT_TRUE(seen.loadResult) << "expected loadWindow to return true";
  EXPECT_FALSE(seen.dialogExistsAtReturn) << "loadWindow returned before the dialog was destroyed";
  EXPECT_TRUE(seen.openerEnabledAtReturn) << "expected the opener enabled again after the dialog closed";
  EXPECT_EQ(windowHandle(kDialog), nullptr);
}

// Each window gets back the state it had: one the program had disabled
// itself stays disabled after the dialog.
TEST_F(DialogTest, WindowDisabledBeforeTheDialogStaysDisabled) {
  HWND opener = nullptr, bystander = nullptr;
  bool bystanderEnabledInside = true, openerEnabledInside = true;
  bool openerEnabledAfter = false, bystanderEnabledAfter = true;
  const int code = runFromStartWindow({
      [&] {
        opener = windowHandle(kOpener);
        if (!loadWindow(kBystander, false)) ADD_FAILURE() << "the second window could not be opened";
        bystander = windowHandle(kBystander);
        EnableWindow(bystander, FALSE);
        post(1);
        loadWindow(kDialog, true);
        openerEnabledAfter = enabled(opener);
        bystanderEnabledAfter = enabled(bystander);
        post(2);
      },
      [&] {
        openerEnabledInside = enabled(opener);
        bystanderEnabledInside = enabled(bystander);
        closeWindow(kDialog);
      },
      [&] {
        DestroyWindow(bystander);
        DestroyWindow(opener);
      },
  });
  EXPECT_EQ(code, 0);
  ASSERT_NE(bystander, nullptr);
  EXPECT_FALSE(openerEnabledInside);
  EXPECT_FALSE(bystanderEnabledInside);
  EXPECT_TRUE(openerEnabledAfter) << "expected the enabled opener enabled again";
  EXPECT_FALSE(bystanderEnabledAfter) << "expected the window that was disabled before the dialog still disabled";
}

// The close box and Esc end the dialog as closeWindow does, restoring the
// opener before the dialog is destroyed.
TEST_F(DialogTest, CloseBoxAndEscRestoreTheOpener) {
  struct Way {
    const char* what;
    std::function<void(HWND dialog, std::string& note)> close;
  };
  const Way ways[] = {
      {"close box (SC_CLOSE)",
       [](HWND dialog, std::string&) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Esc on the focused control",
       [](HWND dialog, std::string& note) {
         HWND focus = GetFocus();
         if (!focus || !IsChild(dialog, focus)) {
           note = "no control of the dialog had the focus";
           focus = controlHandle(kDialog, kButton);
         }
         PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
       }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    HWND opener = nullptr, dialog = nullptr;
    bool openerEnabledInside = true, openerEnabledAfter = false, dialogGoneAfter = false, returned = false;
    std::string note;
    const int code = runFromStartWindow({
        [&] {
          opener = windowHandle(kOpener);
          post(1);
          loadWindow(kDialog, true);
          returned = true;
          dialogGoneAfter = !IsWindow(dialog);
          openerEnabledAfter = enabled(opener);
          post(2);
        },
        [&] {
          dialog = windowHandle(kDialog);
          openerEnabledInside = enabled(opener);
          way.close(dialog, note);
        },
        [&] { DestroyWindow(opener); },
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(note, "");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(returned);
    EXPECT_FALSE(openerEnabledInside);
    EXPECT_TRUE(dialogGoneAfter) << "the dialog is still there after loadWindow returned";
    EXPECT_TRUE(openerEnabledAfter) << "expected the opener enabled again";
    g_steps.clear();
    kestrana_test::dropQuitMessage();
  }
}

// A dialog opened from a dialog: both levels are restored, innermost first.
TEST_F(DialogTest, NestedDialogRestoresBothLevelsInOrder) {
  HWND opener = nullptr, dialog = nullptr, inner = nullptr;
  std::vector<std::string> log;
  auto state = [&](const char* when) {
    log.push_back(std::string(when) + ": opener " + (enabled(opener) ? "on" : "off") + ", dialog " +
                  (IsWindow(dialog) ? (enabled(dialog) ? "on" : "off") : "gone") + ", inner " +
                  (IsWindow(inner) ? (enabled(inner) ? "on" : "off") : "gone"));
  };
  const int code = runFromStartWindow({
      [&] {
        opener = windowHandle(kOpener);
        post(1);
        const bool r = loadWindow(kDialog, true);
        state(r ? "dialog returned true" : "dialog returned false");
        post(3);
      },
      [&] {
        dialog = windowHandle(kDialog);
        state("dialog open");
        post(2);
        const bool r = loadWindow(kInner, true);
        state(r ? "inner returned true" : "inner returned false");
        closeWindow(kDialog);
      },
      [&] {
        inner = windowHandle(kInner);
        state("inner open");
        closeWindow(kInner);
      },
      [&] { DestroyWindow(opener); },
  });
  EXPECT_EQ(code, 0);
  const std::vector<std::string> expected = {
      "dialog open: opener off, dialog on, inner gone",
      "inner open: opener off, dialog off, inner on",
      "inner returned true: opener off, dialog on, inner gone",
      "dialog returned true: opener on, dialog gone, inner gone",
  };
  EXPECT_EQ(testing::PrintToString(log), testing::PrintToString(expected));
}

// At most one instance of each window: loading an open one fails at once
// and disturbs nothing of the open dialog's bookkeeping.
TEST_F(DialogTest, LoadingAWindowAlreadyOpenFails) {
  HWND opener = nullptr, dialog = nullptr;
  bool againDialog = true, againOpener = true, dialogEnabledAfterTries = false, openerEnabledAfterTries = true;
  bool openerEnabledAfter = false;
  int dialogWindows = 0;
  const int code = runFromStartWindow({
      [&] {
        opener = windowHandle(kOpener);
        post(1);
        loadWindow(kDialog, true);
        openerEnabledAfter = enabled(opener);
        post(2);
      },
      [&] {
        dialog = windowHandle(kDialog);
        againDialog = loadWindow(kDialog, true);
        againOpener = loadWindow(kOpener, true);
        dialogEnabledAfterTries = enabled(dialog);
        openerEnabledAfterTries = enabled(opener);
        for (HWND hwnd : kestrana_test::topWindows(GetCurrentProcessId(), false)) {
          dialogWindows += kestrana_test::windowText(hwnd) == kDialog.caption;
        }
        closeWindow(kDialog);
      },
      [&] { DestroyWindow(opener); },
  });
  EXPECT_EQ(code, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(againDialog) << "loadWindow of the open dialog returned true";
  EXPECT_FALSE(againOpener) << "loadWindow of the open start window returned true";
  EXPECT_EQ(dialogWindows, 1) << "windows with the dialog's caption";
  EXPECT_TRUE(dialogEnabledAfterTries) << "a failed second load disabled the open dialog";
  EXPECT_FALSE(openerEnabledAfterTries);
  EXPECT_TRUE(openerEnabledAfter) << "expected the opener enabled again after the dialog";
}

// A quit request ends the nested loop too and reaches the outer loop, so
// the program can end while a dialog is up.
TEST_F(DialogTest, QuitMessageEndsTheNestedLoopAndTheOuterOne) {
  bool returned = false, result = false, dialogStillOpen = false;
  const int code = runFromStartWindow({
      [&] {
        post(1);
        result = loadWindow(kDialog, true);
        returned = true;
        dialogStillOpen = windowHandle(kDialog) != nullptr;
      },
      [&] { PostQuitMessage(7); },
  });
  EXPECT_TRUE(returned) << "loadWindow did not return on the quit message";
  EXPECT_TRUE(result);
  EXPECT_TRUE(dialogStillOpen) << "the quit message is not a close request";
  EXPECT_EQ(code, 7) << "expected the outer loop to end with the quit code";
}
