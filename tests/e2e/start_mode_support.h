// Helpers for the start-value cases: choosing a choice the way a user does,
// and checks on the boxes that an apply shows (or must not show).
#pragma once

#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e::start_mode {

// Checks one choice as a user does: a posted BM_CLICK, or a real mouse click
// at its centre. Waits until it alone is checked.
inline bool choose(const MainWindowControls& c, HWND radio, bool byMouse, Where where = Where::current()) {
  if (!radio) {
    KESTRANA_FAIL_AT(where) << "no such choice on the main window";
    return false;
  }
  if (byMouse) {
    clickCenter(radio, where);
  } else {
    pressButton(radio);
  }
  const Choices want = onlyChecked(c, radio);
  if (!waitFor([&] { return readChoices(c) == want; }, 3000)) {
    KESTRANA_FAIL_AT(where) << "after clicking " << utf8(describe(radio)) << ": expected " << describe(want) << " got "
                            << describe(readChoices(c));
    return false;
  }
  return true;
}

// The box the program shows, compared field by field; button ids in any
// stacking order but exactly this set.
inline void expectBox(const MessageBoxInfo& box, const std::string& caption, const std::string& text,
                      std::vector<int> buttonIds, Where where = Where::current()) {
  if (!box.hwnd) {
    KESTRANA_FAIL_AT(where) << "expected a message box \"" << utf8(caption) << "\"; none seen";
    return;
  }
  if (box.caption != caption)
    KESTRANA_FAIL_AT(where) << "box caption: expected " << shown(caption) << " got " << shown(box.caption);
  if (box.text != text) KESTRANA_FAIL_AT(where) << "box text: expected " << shown(text) << " got " << shown(box.text);
  std::sort(buttonIds.begin(), buttonIds.end());
  if (box.buttonIds() != buttonIds) {
    auto list = [](const std::vector<int>& ids) {
      std::ostringstream s;
      s << "{";
      for (std::size_t i = 0; i < ids.size(); ++i) s << (i ? "," : "") << ids[i];
      s << "}";
      return s.str();
    };
    KESTRANA_FAIL_AT(where) << "box button ids: expected " << list(buttonIds) << " got " << list(box.buttonIds());
  }
}

// Fails when the program shows a message box within `ms`.
inline void expectNoBoxWithin(const Program& program, DWORD ms, Where where = Where::current()) {
  HWND box = nullptr;
  if (waitFor([&] { return (box = findMessageBox(program.pid())) != nullptr; }, ms)) {
    const MessageBoxInfo info = readMessageBox(box);
    KESTRANA_FAIL_AT(where) << "expected no message box within " << ms << " ms got \"" << utf8(info.caption) << "\": \""
                            << utf8(info.text) << "\"";
  }
}

// Waits until the program has no message box up.
inline bool waitNoBox(const Program& program, DWORD ms = 5000, Where where = Where::current()) {
  if (!waitFor([&] { return findMessageBox(program.pid()) == nullptr; }, ms)) {
    KESTRANA_FAIL_AT(where) << "expected the message box to close within " << ms << " ms; still up";
    return false;
  }
  return true;
}

// The two boxes an apply can show.
inline constexpr char kSuccessCaption[] = "设置成功";
inline constexpr char kSuccessText[] = "设置成功，重新启动电脑生效！\r\n现在是否重新启动？";
inline constexpr char kFailureCaption[] = "发生问题";
inline constexpr char kFailureText[] = "权限不足。设置失败！";

}  // namespace e2e::start_mode
