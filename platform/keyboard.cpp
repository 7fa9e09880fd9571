#include "platform/keyboard.h"

#include "platform/text.h"

namespace kestrana {

namespace {

// The next control after `current` that satisfies pred, in reverse stacking
// order (backward: in stacking order), wrapping; from a control outside that
// order, the first one. -1 when no control satisfies pred.
template <typename Pred>
int step(const WindowLayout& window, int current, bool backward, Pred pred) {
  const int n = static_cast<int>(window.controlCount);
  const bool inOrder = current >= 0 && current < n && pred(window.controls[current]);
  if (backward) {
    if (inOrder) {
      for (int i = current + 1; i < n; ++i) {
        if (pred(window.controls[i])) return i;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (pred(window.controls[i])) return i;
    }
  } else {
    if (inOrder) {
      for (int i = current - 1; i >= 0; --i) {
        if (pred(window.controls[i])) return i;
      }
    }
    for (int i = n - 1; i >= 0; --i) {
      if (pred(window.controls[i])) return i;
    }
  }
  return -1;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The letter after a single '&' in a caption, or 0.
char mnemonicOf(const char* text) {
  for (const char* p = text; *p; ++p) {
    if (isLeadByte936(static_cast<unsigned char>(*p))) {
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
      const int next = step(window, focused, press.shift, [](const ControlLayout& c) { return c.tabStop; });
      if (next < 0) return {};
      return {KeyActionKind::Focus, next};
    }
    case Key::Left:
    case Key::Right:
    case Key::Up:
    case Key::Down: {
      if (!focusValid || window.controls[focused].kind != ControlKind::RadioBox || press.alt) return {};
      const bool backward = press.key == Key::Left || press.key == Key::Up;
      return {KeyActionKind::FocusAndCheck,
              step(window, focused, backward, [](const ControlLayout& c) { return c.kind == ControlKind::RadioBox; })};
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
