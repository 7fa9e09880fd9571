// showMessageBox with real boxes: a second thread of this process waits
// for the box, reads it as a user would see it and presses one button.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/support.h"

using kestrana::showMessageBox;
using namespace kestrana_test;

namespace {

// What the driver thread saw of the box.
struct Observation {
  // given
  int press = 0;
  HWND witness = nullptr;
  // seen
  MessageBoxInfo box;
  bool witnessEnabled = true;
  HWND owner = nullptr;
  HICON icon = nullptr;
  bool pressed = false;
};

std::string idList(const std::vector<int>& ids) {
  std::string out = "{";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(ids[i]);
  }
  return out + "}";
}

// The visible icon of the box, if it shows one.
HICON boxIcon(HWND box) {
  for (HWND child : childrenOf(box)) {
    if (!IsWindowVisible(child) || !hasClass(child, "Static")) continue;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    if (const auto icon = sendWithin(child, STM_GETICON)) return reinterpret_cast<HICON>(*icon);
  }
  return nullptr;
}

DWORD WINAPI drive(void* param) {
  auto* seen = static_cast<Observation*>(param);
  MessageBoxInfo box;
  // The box is made before its buttons: wait until they are there too.
  if (!waitFor([&] { return !(box = readMessageBox(findMessageBox(GetCurrentProcessId()))).buttons.empty(); }, 10000)) {
    return 0;
  }
  seen->box = box;
  seen->owner = GetWindow(box.hwnd, GW_OWNER);
  seen->witnessEnabled = IsWindowEnabled(seen->witness) != FALSE;
  seen->icon = boxIcon(box.hwnd);
  // Still end the box when the button is not there, or the test thread
  // would wait in it for good.
  seen->pressed = pressBoxButton(box.hwnd, seen->press) || pressBoxButton(box.hwnd, box.buttons.front().id);
  return 0;
}

// A visible top-level window of the calling thread, as the program's own
// windows are while a box is up.
class Witness {
 public:
  Witness() {
    hwnd_ = CreateWindowExA(0, "STATIC", "witness", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~Witness() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  Witness(const Witness&) = delete;
  Witness& operator=(const Witness&) = delete;
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace

// Every answer code of the table, read from real boxes: the button pressed,
// the buttons and icon the flags ask for, task-modal with no owner.
TEST(MessageBoxTest, AnswersFlagsAndTaskModality) {
  struct Case {
    const char* what;
    std::int32_t flags;
    const char* text;
    const char* caption;
    std::vector<int> buttons;  // ascending ids
    int press;
    std::int32_t answer;
    LPCSTR icon;  // system icon the flags select, or nullptr for none
  };
  const std::vector<Case> cases = {
      {"MB_OK, OK", 0x0, "操作已完成。", "提示", {IDOK}, IDOK, 0, nullptr},
      {"0x10 error, OK", 0x10, "非常抱歉，您的系统版本过低！", "无法运行", {IDOK}, IDOK, 0, IDI_HAND},
      {"0x30 warning, OK", 0x30, "警告：第一行\r\n第二行", "警告", {IDOK}, IDOK, 0, IDI_EXCLAMATION},
      {"0x34 warning yes/no, No", 0x34, "确定要继续吗？", "警告", {IDYES, IDNO}, IDNO, 6, IDI_EXCLAMATION},
      {"0x44 information yes/no, Yes", 0x44, "是否立即重新启动计算机？", "提示", {IDYES, IDNO}, IDYES, 5,
       IDI_ASTERISK},
      {"0x44 information yes/no, No", 0x44, "是否立即重新启动计算机？", "提示", {IDYES, IDNO}, IDNO, 6,
       IDI_ASTERISK},
      {"MB_YESNO, Yes", 0x4, "是或否", "问题", {IDYES, IDNO}, IDYES, 5, nullptr},
      {"MB_YESNO, No", 0x4, "是或否", "问题", {IDYES, IDNO}, IDNO, 6, nullptr},
      {"MB_OKCANCEL, OK", 0x1, "确定或取消", "问题", {IDOK, IDCANCEL}, IDOK, 0, nullptr},
      {"MB_OKCANCEL, Cancel", 0x1, "确定或取消", "问题", {IDOK, IDCANCEL}, IDCANCEL, 1, nullptr},
      {"MB_ABORTRETRYIGNORE, Abort", 0x2, "中止、重试或忽略", "错误", {IDABORT, IDRETRY, IDIGNORE}, IDABORT, 2,
       nullptr},
      {"MB_ABORTRETRYIGNORE, Retry", 0x2, "中止、重试或忽略", "错误", {IDABORT, IDRETRY, IDIGNORE}, IDRETRY, 3,
       nullptr},
      {"MB_ABORTRETRYIGNORE, Ignore", 0x2, "中止、重试或忽略", "错误", {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE, 4,
       nullptr},
      {"MB_YESNOCANCEL, Cancel", 0x3, "是、否或取消", "问题", {IDCANCEL, IDYES, IDNO}, IDCANCEL, 1, nullptr},
      {"MB_RETRYCANCEL, Retry", 0x5, "重试或取消", "错误", {IDCANCEL, IDRETRY}, IDRETRY, 3, nullptr},
      {"MB_RETRYCANCEL, Cancel", 0x5, "重试或取消", "错误", {IDCANCEL, IDRETRY}, IDCANCEL, 1, nullptr},
  };

  Witness witness;
  ASSERT_NE(witness.get(), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(IsWindowEnabled(witness.get())) << "the witness window was left disabled by the previous box";

    Observation seen;
    seen.press = c.press;
    seen.witness = witness.get();
    HANDLE thread = CreateThread(nullptr, 0, drive, &seen, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const std::int32_t answer = showMessageBox(c.text, c.flags, c.caption);
    const bool driverEnded = WaitForSingleObject(thread, limitMs(15000)) == WAIT_OBJECT_0;
    CloseHandle(thread);
    ASSERT_TRUE(driverEnded) << "the driver thread did not end";
    ASSERT_NE(seen.box.hwnd, nullptr) << "no visible #32770 box of this process appeared within 10 s";
    EXPECT_TRUE(seen.box.hasButton(c.press)) << "button " << c.press << " is not on the box";
    EXPECT_TRUE(seen.pressed) << "no button of the box could be pressed";
    EXPECT_EQ(answer, c.answer) << "pressed button " << c.press << ": expected answer " << c.answer << " got "
                                << answer;
    EXPECT_EQ(shown(seen.box.caption), shown(c.caption)) << "caption";
    EXPECT_EQ(shown(seen.box.text), shown(c.text)) << "text (the Static with id 0xFFFF)";
    EXPECT_EQ(idList(seen.box.buttonIds()), idList(c.buttons)) << "visible buttons";
    EXPECT_EQ(seen.owner, nullptr) << "expected a box with no owner window";
    // MB_TASKMODAL without an owner is what disables the thread's windows.
    EXPECT_FALSE(seen.witnessEnabled) << "expected the program's other window disabled while the box is up "
                                         "(MB_TASKMODAL added to flags "
                                      << hex(c.flags, 2) << ")";
    const HICON expectedIcon = c.icon ? LoadIconA(nullptr, c.icon) : nullptr;
    EXPECT_EQ(seen.icon, expectedIcon) << "icon of flags " << hex(c.flags, 2);
    EXPECT_TRUE(IsWindowEnabled(witness.get())) << "expected the other window enabled again after the box";
  }
}
