// A window of the program described as data: its frame, its controls in
// stacking order (first on top) and the table of event handlers. One generic
// builder turns such a description into a real window.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrana {

enum class ControlKind {
  PushButton,  // BUTTON, BS_PUSHBUTTON | BS_MULTILINE, never a default button
  RadioBox,    // BUTTON, BS_AUTORADIOBUTTON | BS_MULTILINE
  EditBox,     // EDIT, multi-line, wraps, Enter starts a new line, sunken edge
  TransLabel,  // text drawn by the program over the window's own background
  PicBox,      // one picture drawn by the program from image-file bytes
};

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

enum class FontKind {
  Default,          // the system default GUI font
  Label,            // LabelFont, not underlined
  LabelUnderlined,  // LabelFont, underlined
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  constexpr bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};

struct ControlLayout {
  int id = 0;  // unique within its window, never 0
  const char* name = "";
  ControlKind kind = ControlKind::TransLabel;
  int left = 0, top = 0, width = 0, height = 0;
  const char* text = "";
  bool tabStop = false;
  // How a TransLabel draws; the other kinds use the default GUI font.
  Rgb color = kBlack;
  FontKind font = FontKind::Default;
  HAlign align = HAlign::Left;
  VAlign valign = VAlign::Center;
  bool wordWrap = false;
  bool handCursor = false;
};

enum class Event {
  Created,    // the window and its controls exist; the window is not yet shown
  Clicked,    // BN_CLICKED of a button
  MouseDown,  // left mouse button pressed over a program-drawn control
};

using Handler = void (*)();

inline constexpr int kWindowItself = 0;

struct Binding {
  int control = kWindowItself;
  Event event = Event::Created;
  Handler handler = nullptr;
};

struct Frame {
  bool resizable = false;    // thick frame
  bool toolWindow = false;   // narrow title bar, no taskbar button
  bool minimizeBox = false;
  bool maximizeBox = false;
};

struct WindowLayout {
  const char* caption = "";
  int width = 0, height = 0;  // outer size
  Frame frame;
  const ControlLayout* controls = nullptr;  // stacking order, first on top
  std::size_t controlCount = 0;
  const Binding* bindings = nullptr;
  std::size_t bindingCount = 0;
};

// The most controls one window may have; the window builder keeps their
// handles in a fixed array.
inline constexpr std::size_t kMaxControls = 32;

template <std::size_t NC, std::size_t NB>
constexpr WindowLayout makeWindow(const char* caption, int width, int height, Frame frame,
                                const ControlLayout (&controls)[NC], const Binding (&bindings)[NB]) {
  static_assert(NC <= kMaxControls, "more controls than the window builder has room for");
  return WindowLayout{caption, width, height, frame, controls, NC, bindings, NB};
}

// The control with this id, or nullptr.
const ControlLayout* findControl(const WindowLayout& window, int id);
// Its index in stacking order, or -1.
int controlIndex(const WindowLayout& window, int id);
// The handler bound to (control, event), or nullptr.
Handler findHandler(const WindowLayout& window, int control, Event event);

}  // namespace kestrana
