// The keyboard decision on the program's three windows and on layouts made
// from the input: it never names a control outside the window, or one of the
// wrong kind for its action; Tab and Shift+Tab, pressed as often as there are
// stops, visit every stop from wherever the focus starts, and each undoes the
// other; the arrows do the same over the radio buttons.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "info/about_window.h"
#include "info/changelog_window.h"
#include "platform/keyboard.h"

namespace {

using kestrana::ControlKind;
using kestrana::ControlLayout;
using kestrana::Key;
using kestrana::KeyAction;
using kestrana::KeyActionKind;
using kestrana::KeyPress;
using kestrana::WindowLayout;

// The product's call, kept here alone.
KeyAction decide(const WindowLayout& window, int focused, KeyPress press) {
  return kestrana::decideKey(window, focused, press);
}

const WindowLayout* const kRealWindows[] = {&kestrana::MainWindow, &kestrana::AboutWindow,
                                            &kestrana::ChangeLogWindow};
constexpr int kKinds = static_cast<int>(ControlKind::PicBox) + 1;
constexpr int kKeys = static_cast<int>(Key::Other) + 1;

void require(bool holds, const char* property, int focused, KeyPress press, KeyAction got) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s (focus %d, key %d shift %d alt %d letter %d: action %d control %d)\n",
               property, focused, static_cast<int>(press.key), press.shift, press.alt, press.letter,
               static_cast<int>(got.kind), got.control);
  std::abort();
}

// One key press on any window: the action fits the window.
void checkOne(const WindowLayout& window, int focused, KeyPress press) {
  const KeyAction got = decide(window, focused, press);
  const int n = static_cast<int>(window.controlCount);
  switch (got.kind) {
    case KeyActionKind::PassOn:
    case KeyActionKind::Close:
      require(got.control == -1, "an action without a control names none", focused, press, got);
      break;
    case KeyActionKind::Focus:
    case KeyActionKind::FocusAndCheck:
    case KeyActionKind::Click:
      require(got.control >= 0 && got.control < n, "the control is one of the window's", focused, press, got);
      break;
    default:
      require(false, "a known action", focused, press, got);
  }
  const ControlLayout* c = got.control >= 0 && got.control < n ? &window.controls[got.control] : nullptr;
  if (got.kind == KeyActionKind::Focus) require(c->tabStop, "Tab moves only to tab stops", focused, press, got);
  if (got.kind == KeyActionKind::FocusAndCheck) {
    require(c->kind == ControlKind::RadioBox, "arrows move only to radio buttons", focused, press, got);
  }
  if (got.kind == KeyActionKind::Click) {
    require(c->kind == ControlKind::PushButton && press.alt, "Alt+letter presses only push buttons", focused, press,
            got);
  }
  if (press.key == Key::Escape) require(got.kind == KeyActionKind::Close, "Esc closes", focused, press, got);
  if (press.key == Key::Enter || press.key == Key::Other) {
    require(got.kind == KeyActionKind::PassOn, "other keys go on to the control", focused, press, got);
  }
}

// Pressing the key as often as there are targets visits every target once.
void checkCycle(const WindowLayout& window, int focused, KeyPress press, const std::set<int>& targets,
                KeyActionKind kind) {
  int current = focused;
  std::set<int> visited;
  for (std::size_t k = 0; k < targets.size(); ++k) {
    const KeyAction got = decide(window, current, press);
    require(got.kind == kind && targets.count(got.control) == 1, "each press moves to a target", current, press,
            got);
    visited.insert(got.control);
    current = got.control;
  }
  require(visited == targets, "as many presses as targets visit every target", focused, press, KeyAction{});
}

void checkWindow(const WindowLayout& window, int focused, KeyPress press) {
  checkOne(window, focused, press);

  std::set<int> stops, radios;
  for (int i = 0; i < static_cast<int>(window.controlCount); ++i) {
    if (window.controls[i].tabStop) stops.insert(i);
    if (window.controls[i].kind == ControlKind::RadioBox) radios.insert(i);
  }
  const KeyPress tab{Key::Tab, false, false, 0}, backTab{Key::Tab, true, false, 0};
  if (stops.empty()) {
    require(decide(window, focused, tab).kind == KeyActionKind::PassOn, "Tab without stops goes on", focused, tab,
            decide(window, focused, tab));
  } else {
    checkCycle(window, focused, tab, stops, KeyActionKind::Focus);
    checkCycle(window, focused, backTab, stops, KeyActionKind::Focus);
    if (stops.count(focused) == 1) {
      const int there = decide(window, focused, tab).control;
      require(decide(window, there, backTab).control == focused, "Shift+Tab undoes Tab", there, backTab,
              decide(window, there, backTab));
    }
  }

  if (radios.count(focused) == 1) {
    checkCycle(window, focused, KeyPress{Key::Down}, radios, KeyActionKind::FocusAndCheck);
    checkCycle(window, focused, KeyPress{Key::Up}, radios, KeyActionKind::FocusAndCheck);
  } else {
    const KeyAction got = decide(window, focused, KeyPress{Key::Down});
    require(got.kind == KeyActionKind::PassOn, "arrows off a radio button go on", focused, KeyPress{Key::Down}, got);
  }
}

KeyPress consumePress(FuzzedDataProvider& in) {
  KeyPress press;
  press.key = static_cast<Key>(in.ConsumeIntegralInRange(0, kKeys - 1));
  press.shift = in.ConsumeBool();
  press.alt = in.ConsumeBool();
  press.letter = in.ConsumeIntegral<char>();
  return press;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int which = in.ConsumeIntegralInRange(0, 3);
  if (which < 3) {
    const WindowLayout& window = *kRealWindows[which];
    const int focused = in.ConsumeIntegralInRange(-2, static_cast<int>(window.controlCount) + 1);
    checkWindow(window, focused, consumePress(in));
    return 0;
  }

  // The controls, and each caption with its terminator, in blocks of
  // exactly their size, so that the address sanitizer sees a read past one.
  const int n = in.ConsumeIntegralInRange(0, 24);
  const std::unique_ptr<ControlLayout[]> controls(new ControlLayout[n]);
  std::vector<std::unique_ptr<char[]>> texts;
  for (int i = 0; i < n; ++i) {
    ControlLayout& c = controls[i];
    c.id = i + 1;
    c.kind = static_cast<ControlKind>(in.ConsumeIntegralInRange(0, kKinds - 1));
    c.tabStop = in.ConsumeBool();
    const std::string text = in.ConsumeRandomLengthString(16);
    texts.emplace_back(new char[text.size() + 1]);
    std::memcpy(texts.back().get(), text.c_str(), text.size() + 1);
    c.text = texts.back().get();
  }
  WindowLayout window;
  window.controls = controls.get();
  window.controlCount = static_cast<std::size_t>(n);
  const int focused = in.ConsumeIntegralInRange(-2, n + 1);
  checkWindow(window, focused, consumePress(in));
  return 0;
}
