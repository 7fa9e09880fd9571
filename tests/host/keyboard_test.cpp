// The keyboard decision on the program's real window tables: Esc, the fixed
// Tab orders, the arrow keys between the choices, Enter and the Alt letters.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_platform.h"
#include "info/about_window.h"
#include "info/changelog_window.h"
#include "platform/keyboard.h"

namespace kestrana {

// Readable actions in failure messages.
void PrintTo(const KeyAction& action, std::ostream* out) {
  static const char* const kKinds[] = {"PassOn", "Close", "Focus", "FocusAndCheck", "Click"};
  *out << kKinds[static_cast<int>(action.kind)] << " control " << action.control;
}

}  // namespace kestrana

namespace {

using kestrana::AboutWindow;
using kestrana::ChangeLogWindow;
using kestrana::controlIndex;
using kestrana::decideKey;
using kestrana::Key;
using kestrana::KeyAction;
using kestrana::KeyActionKind;
using kestrana::KeyPress;
using kestrana::MainWindow;
using kestrana::WindowLayout;
using kestrana::test::utf8;

int at(const WindowLayout& window, int id) {
  const int index = controlIndex(window, id);
  EXPECT_GE(index, 0) << "control id " << id << " is not on window \"" << utf8(window.caption) << "\"";
  return index;
}

std::string nameAt(const WindowLayout& window, int index) {
  if (index < 0 || index >= static_cast<int>(window.controlCount)) return "(none " + std::to_string(index) + ")";
  return utf8(window.controls[index].name);
}

KeyPress press(Key key, bool shift = false, bool alt = false) { return KeyPress{key, shift, alt, 0}; }
KeyPress letter(char c, bool alt) { return KeyPress{Key::Letter, false, alt, c}; }

const KeyAction kPassOn{KeyActionKind::PassOn, -1};

// Every control of the window, and the window itself (-1).
std::vector<int> everyFocus(const WindowLayout& window) {
  std::vector<int> out{-1};
  for (int i = 0; i < static_cast<int>(window.controlCount); ++i) out.push_back(i);
  return out;
}

// Checks that Tab (or Shift+Tab) from each stop of `order` reaches the next
// one, wrapping at the end.
void expectCycle(const WindowLayout& window, const std::vector<int>& order, bool backward) {
  const int n = static_cast<int>(order.size());
  for (int k = 0; k < n; ++k) {
    const int from = order[k];
    const int to = order[(k + (backward ? n - 1 : 1)) % n];
    const KeyAction got = decideKey(window, from, press(Key::Tab, backward));
    EXPECT_EQ((KeyAction{KeyActionKind::Focus, to}), got)
        << utf8(window.caption) << ": " << (backward ? "Shift+Tab" : "Tab") << " from " << nameAt(window, from)
        << ": expected " << nameAt(window, to) << " got " << nameAt(window, got.control);
  }
}

// Guards against a control that swallows Esc, so the window cannot be closed
// from it.
TEST(Keyboard, EscapeClosesEveryWindowFromEveryControl) {
  for (const WindowLayout* window : {&MainWindow, &AboutWindow, &ChangeLogWindow}) {
    for (int focused : everyFocus(*window)) {
      for (bool shift : {false, true}) {
        EXPECT_EQ((KeyAction{KeyActionKind::Close, -1}), decideKey(*window, focused, press(Key::Escape, shift)))
            << utf8(window->caption) << ": Esc from " << nameAt(*window, focused);
      }
    }
  }
}

// Guards against Tab following the stacking order instead of its reverse, or
// stopping at the last stop instead of wrapping.
TEST(Keyboard, MainWindowTabOrderRunsThroughTheSixStopsAndWraps) {
  using namespace kestrana::main_ctl;
  const std::vector<int> order = {at(MainWindow, 手动), at(MainWindow, 自动), at(MainWindow, 禁用),
                                  at(MainWindow, 确定), at(MainWindow, 退出), at(MainWindow, 关于)};
  expectCycle(MainWindow, order, false);
  expectCycle(MainWindow, order, true);
}

// Guards against Tab from a control that is not a stop (or from the window
// itself) going nowhere.
TEST(Keyboard, TabFromOutsideTheStopsEntersAtTheFirstOrLast) {
  using namespace kestrana::main_ctl;
  for (int from : {-1, at(MainWindow, 透明标签1), at(MainWindow, 透明标签2)}) {
    EXPECT_EQ((KeyAction{KeyActionKind::Focus, at(MainWindow, 手动)}), decideKey(MainWindow, from, press(Key::Tab)))
        << "Tab from " << nameAt(MainWindow, from);
    EXPECT_EQ((KeyAction{KeyActionKind::Focus, at(MainWindow, 关于)}),
              decideKey(MainWindow, from, press(Key::Tab, true)))
        << "Shift+Tab from " << nameAt(MainWindow, from);
  }
}

// Guards against arrows that move focus without checking, run the wrong way,
// stop at the ends, or leak onto push buttons.
TEST(Keyboard, ArrowsMoveBetweenTheChoicesAndCheckTheOneReached) {
  using namespace kestrana::main_ctl;
  const int manual = at(MainWindow, 手动), automatic = at(MainWindow, 自动), disabled = at(MainWindow, 禁用);
  struct Case {
    int from;
    int next;  // Down / Right
    int prev;  // Up / Left
  };
  const Case cases[] = {{manual, automatic, disabled}, {automatic, disabled, manual}, {disabled, manual, automatic}};
  for (const Case& c : cases) {
    for (Key key : {Key::Down, Key::Right}) {
      const KeyAction got = decideKey(MainWindow, c.from, press(key));
      EXPECT_EQ((KeyAction{KeyActionKind::FocusAndCheck, c.next}), got)
          << (key == Key::Down ? "Down" : "Right") << " from " << nameAt(MainWindow, c.from) << ": expected "
          << nameAt(MainWindow, c.next) << " got " << nameAt(MainWindow, got.control);
    }
    for (Key key : {Key::Up, Key::Left}) {
      const KeyAction got = decideKey(MainWindow, c.from, press(key));
      EXPECT_EQ((KeyAction{KeyActionKind::FocusAndCheck, c.prev}), got)
          << (key == Key::Up ? "Up" : "Left") << " from " << nameAt(MainWindow, c.from) << ": expected "
          << nameAt(MainWindow, c.prev) << " got " << nameAt(MainWindow, got.control);
    }
  }
  for (int from : {-1, at(MainWindow, 关于), at(MainWindow, 退出), at(MainWindow, 确定), at(MainWindow, 透明标签1)}) {
    for (Key key : {Key::Down, Key::Right, Key::Up, Key::Left}) {
      EXPECT_EQ(kPassOn, decideKey(MainWindow, from, press(key)))
          << "arrow key " << static_cast<int>(key) << " from " << nameAt(MainWindow, from);
    }
  }
}

// Guards against Enter pressing a button: no button of the program is a
// default button.
TEST(Keyboard, EnterIsPassedOnEverywhere) {
  for (const WindowLayout* window : {&MainWindow, &AboutWindow, &ChangeLogWindow}) {
    for (int focused : everyFocus(*window)) {
      EXPECT_EQ(kPassOn, decideKey(*window, focused, press(Key::Enter)))
          << utf8(window->caption) << ": Enter from " << nameAt(*window, focused);
    }
  }
}

// Guards against the underlined letters pressing the wrong button, working
// without Alt, or depending on the letter's case.
TEST(Keyboard, AltWithTheUnderlinedLetterClicksItsButton) {
  using namespace kestrana::main_ctl;
  struct Case {
    const WindowLayout* window;
    char letter;
    int target;  // stacking index, or -1 for none
  };
  const Case cases[] = {
      {&MainWindow, 'A', at(MainWindow, 关于)},
      {&MainWindow, 'X', at(MainWindow, 退出)},
      {&MainWindow, 'S', at(MainWindow, 确定)},
      {&MainWindow, 'a', at(MainWindow, 关于)},
      {&MainWindow, 'C', -1},
      {&MainWindow, 'Q', -1},
      {&AboutWindow, 'C', at(AboutWindow, kestrana::about_ctl::与我联系)},
      {&AboutWindow, 'A', -1},
      {&ChangeLogWindow, 'C', -1},
  };
  for (const Case& c : cases) {
    for (int focused : everyFocus(*c.window)) {
      const KeyAction expected = c.target < 0 ? kPassOn : KeyAction{KeyActionKind::Click, c.target};
      EXPECT_EQ(expected, decideKey(*c.window, focused, letter(c.letter, true)))
          << utf8(c.window->caption) << ": Alt+" << c.letter << " from " << nameAt(*c.window, focused);
      EXPECT_EQ(kPassOn, decideKey(*c.window, focused, letter(c.letter, false)))
          << utf8(c.window->caption) << ": " << c.letter << " without Alt from " << nameAt(*c.window, focused);
    }
  }
}

// Guards against the About window's Tab reaching a label, or sticking on one
// button.
TEST(Keyboard, AboutWindowTabAlternatesBetweenItsTwoButtons) {
  using namespace kestrana::about_ctl;
  const std::vector<int> order = {at(AboutWindow, 确定), at(AboutWindow, 与我联系)};
  expectCycle(AboutWindow, order, false);
  expectCycle(AboutWindow, order, true);
  for (int from : {-1, at(AboutWindow, ChangeLog), at(AboutWindow, 图片框1), at(AboutWindow, 论坛链接)}) {
    const KeyAction got = decideKey(AboutWindow, from, press(Key::Tab));
    EXPECT_EQ(KeyActionKind::Focus, got.kind) << "Tab from " << nameAt(AboutWindow, from);
    EXPECT_TRUE(got.control == order[0] || got.control == order[1])
        << "Tab from " << nameAt(AboutWindow, from) << " reached " << nameAt(AboutWindow, got.control);
  }
}

// Guards against Tab in the change-log box being typed or going nowhere.
TEST(Keyboard, ChangeLogTabAlternatesBetweenBoxAndButton) {
  using namespace kestrana::changelog_ctl;
  const std::vector<int> order = {at(ChangeLogWindow, 编辑框1), at(ChangeLogWindow, 确定)};
  expectCycle(ChangeLogWindow, order, false);
  expectCycle(ChangeLogWindow, order, true);
}

}  // namespace
