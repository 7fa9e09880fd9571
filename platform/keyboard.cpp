#include "platform/keyboard.h"

#include <vector>

namespace kestrana {

namespace {

// Indices of the controls that satisfy pred, in reverse stacking order.
template <typename Pred>
std::vector<int> reverseStackingOrder(const WindowLayout& window, Pred pred) {
  std::vector<int> order;
  for (int i = static_cast<int>(window.controlCount) - 1; i >= 0; --i) {
    if (pred(window.controls[i])) order.push_back(i);
  }
  return order;
}

int step(const std::vector<int>& order, int current, bool backward) {
  const int n = static_cast<int>(order.size());
  for (int k = 0; k < n; ++k) {
    if (order[k] == current) return order[(k + (backward ? n - 1 : 1)) % n];
  }
  return backward ? order.back() : order.front();
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The letter after a single '&' in a caption, or 0.
char mnemonicOf(const char* text) {
  for (const char* p = text; *p; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) {
      if (!*++p) break;  // skip the trail byte of a double-byte character
      continue;
    }
    if (*p == '&') {
      if (p[1] == '&') { ++p; continue; }
      return upper(p[1]);
    }
  }
  return 0;
}

}  // namespace

KeyAction decideKey(const WindowLayout& window, int focused, KeyPress press) {
  const bool focusValid = focused >= 0 && focused < static_cast<int>(window.controlCount);
  switch (press.key) {
    case Key::Escape:
      return {KeyActionKind::Close, -1};
    case Key::Tab: {
      if (press.alt) return {};
      const auto stops = reverseStackingOrder(window, [](const ControlLayout& c) { return c.tabStop; });
      if (stops.empty()) return {};
      return {KeyActionKind::Focus, step(stops, focused, press.shift)};
    }
    case Key::Left:
    case Key::Right:
    case Key::Up:
    case Key::Down: {
      if (!focusValid || window.controls[focused].kind != ControlKind::RadioBox || press.alt) return {};
      const auto radios = reverseStackingOrder(
          window, [](const ControlLayout& c) { return c.kind == ControlKind::RadioBox; });
      const bool backward = press.key == Key::Left || press.key == Key::Up;
      return {KeyActionKind::FocusAndCheck, step(radios, focused, backward)};
    }
    case Key::Letter: {
      if (!press.alt || press.letter == 0) return {};
      for (int i = 0; i < static_cast<int>(window.controlCount); ++i) {
        const ControlLayout& c = window.controls[i];
        if (c.kind == ControlKind::PushButton && mnemonicOf(c.text) == upper(press.letter)) {
          return {KeyActionKind::Click, i};
        }
      }
      return {};
    }
    case Key::Enter:
    case Key::Other:
      break;
  }
  return {};
}

}  // namespace kestrana
