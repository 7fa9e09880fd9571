#include "platform/window_layout.h"

namespace kestrana {

int controlIndex(const WindowLayout& window, int id) {
  for (std::size_t i = 0; i < window.controlCount; ++i) {
    if (window.controls[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

const ControlLayout* findControl(const WindowLayout& window, int id) {
  const int i = controlIndex(window, id);
  return i < 0 ? nullptr : &window.controls[i];
}

Handler findHandler(const WindowLayout& window, int control, Event event) {
  for (std::size_t i = 0; i < window.bindingCount; ++i) {
    const Binding& b = window.bindings[i];
    if (b.control == control && b.event == event) return b.handler;
  }
  return nullptr;
}

}  // namespace kestrana
