// The keyboard rules every window of the program shares, decided without
// Windows: Esc closes, Tab and Shift+Tab follow the fixed order (the tab
// stops in reverse stacking order, wrapping), arrows move between radio
// buttons, Alt with an underlined letter presses that push button.
#pragma once

#include "platform/window_layout.h"

namespace kestrana {

enum class Key { Escape, Tab, Enter, Left, Right, Up, Down, Letter, Other };

struct KeyPress {
  Key key = Key::Other;
  bool shift = false;
  bool alt = false;
  char letter = 0;  // for Key::Letter: 'A'..'Z' or '0'..'9'
};

enum class KeyActionKind {
  PassOn,         // the key goes on to the focused control as usual
  Close,          // send the window a close request
  Focus,          // focus the control
  FocusAndCheck,  // focus the radio button, clear all others, check it, notify a click
  Click,          // press the push button
};

struct KeyAction {
  KeyActionKind kind = KeyActionKind::PassOn;
  int control = -1;  // index in stacking order
  constexpr bool operator==(const KeyAction&) const = default;
};

// focused: the stacking-order index of the focused control, or -1 when the
// window itself (or nothing of it) has the focus.
KeyAction decideKey(const WindowLayout& window, int focused, KeyPress press);

}  // namespace kestrana
