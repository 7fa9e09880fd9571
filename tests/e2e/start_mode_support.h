// Helpers for the start-value cases: the three choices as one comparable
// value, choosing one the way a user does, and checks on the boxes that an
// apply shows (or must not show).
#pragma once

#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e::start_mode {

#define START_MODE_FAIL_AT(where) ADD_FAILURE_AT((where).file_name(), static_cast<int>((where).line()))

// Check states of the three choices, BST_* each (-1: no answer, -9: no control).
struct Choices {
  int automatic = BST_UNCHECKED;
  int manual = BST_UNCHECKED;
  int disabled = BST_UNCHECKED;
  bool operator==(const Choices&) const = default;
};

inline constexpr Choices kNone{};
inline constexpr Choices kOnlyAutomatic{BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED};
inline constexpr Choices kOnlyManual{BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED};
inline constexpr Choices kOnlyDisabled{BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED};

inline std::string describe(const Choices& c) {
  std::ostringstream s;
  s << "自动=" << c.automatic << " 手动=" << c.manual << " 禁用=" << c.disabled;
  return utf8(s.str());
}

inline Choices readChoices(const MainWindowControls& c) {
  return {c.automatic ? checkState(c.automatic) : -9, c.manual ? checkState(c.manual) : -9,
          c.disabled ? checkState(c.disabled) : -9};
}

inline void expectChoices(const MainWindowControls& c, const Choices& expected, Where where = Where::current()) {
  const Choices seen = readChoices(c);
  if (!(seen == expected)) {
    START_MODE_FAIL_AT(where) << "choices: expected " << describe(expected) << " got " << describe(seen);
  }
}

// Checks one choice as a user does: a posted BM_CLICK, or a real mouse click
// at its centre. Waits until it alone is checked.
inline bool choose(const MainWindowControls& c, HWND radio, bool byMouse, Where where = Where::current()) {
  if (!radio) {
    START_MODE_FAIL_AT(where) << "no such choice on the main window";
    return false;
  }
  if (byMouse) {
    clickCenter(radio, where);
  } else {
    pressButton(radio);
  }
  const Choices want{radio == c.automatic ? BST_CHECKED : BST_UNCHECKED,
                     radio == c.manual ? BST_CHECKED : BST_UNCHECKED,
                     radio == c.disabled ? BST_CHECKED : BST_UNCHECKED};
  if (!waitFor([&] { return readChoices(c) == want; }, 3000)) {
    START_MODE_FAIL_AT(where) << "after clicking " << utf8(e2e::describe(radio)) << ": expected " << describe(want)
                              << " got " << describe(readChoices(c));
    return false;
  }
  return true;
}

// The box the program shows, compared field by field; button ids in any
// stacking order but exactly this set.
inline void expectBox(const MessageBoxInfo& box, const std::string& caption, const std::string& text,
                      std::vector<int> buttonIds, Where where = Where::current()) {
  if (!box.hwnd) {
    START_MODE_FAIL_AT(where) << "expected a message box \"" << utf8(caption) << "\"; none seen";
    return;
  }
  if (box.caption != caption) {
    START_MODE_FAIL_AT(where) << "box caption: expected \"" << utf8(caption) << "\" got \"" << utf8(box.caption)
                              << "\"";
  }
  if (box.text != text) {
    START_MODE_FAIL_AT(where) << "box text: expected \"" << utf8(text) << "\" (" << text.size()
                              << " bytes) got \"" << utf8(box.text) << "\" (" << box.text.size() << " bytes)";
  }
  std::vector<int> seen;
  for (const auto& b : box.buttons) seen.push_back(b.id);
  std::sort(seen.begin(), seen.end());
  std::sort(buttonIds.begin(), buttonIds.end());
  if (seen != buttonIds) {
    auto list = [](const std::vector<int>& ids) {
      std::ostringstream s;
      s << "{";
      for (std::size_t i = 0; i < ids.size(); ++i) s << (i ? "," : "") << ids[i];
      s << "}";
      return s.str();
    };
    START_MODE_FAIL_AT(where) << "box button ids: expected " << list(buttonIds) << " got " << list(seen);
  }
}

// Fails when the program shows a message box within `ms`.
inline void expectNoBoxWithin(const Program& program, DWORD ms, Where where = Where::current()) {
  HWND box = nullptr;
  if (waitFor([&] { return (box = findMessageBox(program.pid())) != nullptr; }, ms)) {
    const MessageBoxInfo info = readMessageBox(box);
    START_MODE_FAIL_AT(where) << "expected no message box within " << ms << " ms got \"" << utf8(info.caption)
                              << "\": \"" << utf8(info.text) << "\"";
  }
}

// Waits until the program has no message box up.
inline bool waitNoBox(const Program& program, DWORD ms = 5000, Where where = Where::current()) {
  if (!waitFor([&] { return findMessageBox(program.pid()) == nullptr; }, ms)) {
    START_MODE_FAIL_AT(where) << "expected the message box to close within " << ms << " ms; still up";
    return false;
  }
  return true;
}

inline void expectWindowEnabled(HWND window, bool enabled, Where where = Where::current()) {
  const bool seen = window && isEnabled(window);
  if (seen != enabled) {
    START_MODE_FAIL_AT(where) << "main window enabled: expected " << enabled << " got " << seen;
  }
}

// The two boxes an apply can show.
inline constexpr char kSuccessCaption[] = "设置成功";
inline constexpr char kSuccessText[] = "设置成功，重新启动电脑生效！\r\n现在是否重新启动？";
inline constexpr char kFailureCaption[] = "发生问题";
inline constexpr char kFailureText[] = "权限不足。设置失败！";

inline std::vector<unsigned char> dwordBytes(DWORD v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

// A start value that must be a REG_DWORD of exactly four bytes.
inline void expectStartDword(DWORD expected, Where where = Where::current()) {
  expectRegRaw(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, REG_DWORD, dwordBytes(expected), where);
}

}  // namespace e2e::start_mode
