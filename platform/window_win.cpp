// The generic window builder, the dispatcher of events to handler tables,
// the dialog bookkeeping of loadWindow/closeWindow and the keyboard filter.
#include <windows.h>

#include "platform/drawn_controls_win.h"
#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/windows_win.h"

namespace kestrana {

namespace {

// Carried out by the loop after closeWindow posted it.
constexpr UINT kCloseRequest = WM_APP + 0x65;
constexpr char kWindowClass[] = "KestranaWindow";

// Each window is open at most once, so this is room for every window of the
// program with plenty to spare; the bookkeeping never allocates.
constexpr std::size_t kMaxOpenWindows = 8;

struct OpenWindow {
  const WindowLayout* layout = nullptr;  // nullptr: a free slot
  HWND hwnd = nullptr;
  HWND controls[kMaxControls] = {};  // in stacking order, as in the layout
  std::size_t controlCount = 0;
  // Windows this one disabled as a dialog, with the state each had before.
  struct Disabled {
    HWND hwnd;
    bool wasEnabled;
  } disabled[kMaxOpenWindows] = {};
  std::size_t disabledCount = 0;
  HWND savedFocus = nullptr;
  bool shown = false;
};

// Every window of the program that is open.
OpenWindow g_open[kMaxOpenWindows];

HINSTANCE instance() { return GetModuleHandleA(nullptr); }

OpenWindow* findOpen(const WindowLayout& layout) {
  for (OpenWindow& w : g_open) {
    if (w.layout == &layout && w.hwnd) return &w;
  }
  return nullptr;
}

OpenWindow* findOpen(HWND hwnd) {
  for (OpenWindow& w : g_open) {
    if (w.layout && w.hwnd == hwnd) return &w;
  }
  return nullptr;
}

bool anyOpen() {
  for (const OpenWindow& w : g_open) {
    if (w.layout) return true;
  }
  return false;
}

int indexOfControl(const OpenWindow& w, HWND control) {
  for (std::size_t i = 0; i < w.controlCount; ++i) {
    if (w.controls[i] == control) return static_cast<int>(i);
  }
  return -1;
}

void dispatch(const OpenWindow& w, int control, Event event) {
  if (Handler h = findHandler(*w.layout, control, event)) h();
}

// Checking or clearing a radio button makes the BUTTON class set or clear
// its WS_TABSTOP, as dialogs expect. This program's Tab order is fixed by
// the window's table instead, so every declared stop keeps the style.
void keepDeclaredTabStops(const OpenWindow& w) {
  for (std::size_t i = 0; i < w.controlCount; ++i) {
    const ControlLayout& c = w.layout->controls[i];
    if (c.kind != ControlKind::RadioBox) continue;
    const LONG style = GetWindowLongA(w.controls[i], GWL_STYLE);
    const LONG wanted = c.tabStop ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    if (wanted != style) SetWindowLongA(w.controls[i], GWL_STYLE, wanted);
  }
}

void restoreDisabled(OpenWindow& w) {
  for (std::size_t i = 0; i < w.disabledCount; ++i) {
    if (IsWindow(w.disabled[i].hwnd)) EnableWindow(w.disabled[i].hwnd, w.disabled[i].wasEnabled);
  }
  w.disabledCount = 0;
}

// The control that takes the focus when the window is shown: the checked
// radio button if there is one, else the first stop of the Tab order.
HWND initialFocus(const OpenWindow& w) {
  // Only the controls created so far: activation can come during creation.
  const WindowLayout& layout = *w.layout;
  for (std::size_t i = w.controlCount; i-- > 0;) {
    if (layout.controls[i].kind == ControlKind::RadioBox &&
        SendMessageA(w.controls[i], BM_GETCHECK, 0, 0) == BST_CHECKED) {
      return w.controls[i];
    }
  }
  for (std::size_t i = w.controlCount; i-- > 0;) {
    if (layout.controls[i].tabStop) return w.controls[i];
  }
  return nullptr;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* w = static_cast<OpenWindow*>(cs->lpCreateParams);
    w->hwnd = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  auto* w = reinterpret_cast<OpenWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!w) return DefWindowProcA(hwnd, msg, wParam, lParam);

  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        const int i = indexOfControl(*w, reinterpret_cast<HWND>(lParam));
        // A click on a radio button has just checked it and cleared the rest.
        if (i >= 0 && w->layout->controls[i].kind == ControlKind::RadioBox) keepDeclaredTabStops(*w);
        if (i >= 0) dispatch(*w, w->layout->controls[i].id, Event::Clicked);
        return 0;
      }
      break;
    case kControlMouseDown:
      dispatch(*w, static_cast<int>(wParam), Event::MouseDown);
      return 0;
    case WM_CTLCOLOREDIT:
      // The edit boxes are black on white whatever the system colours say.
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) w->savedFocus = focus;
      } else if (HIWORD(wParam) == 0) {  // a minimized window keeps the focus itself
        HWND target = (w->savedFocus && IsWindow(w->savedFocus)) ? w->savedFocus : initialFocus(*w);
        SetFocus(target ? target : hwnd);
      }
      return 0;
    case kCloseRequest:  // closeWindow's request: no close query on this path
    case WM_CLOSE:        // the close box, the system menu, Esc
      restoreDisabled(*w);
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY: {
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      // A window that never got shown (its creation failed) does not end
      // the loop: the start-up still has to report the failure.
      const bool wasShown = w->shown;
      *w = OpenWindow{};
      if (!anyOpen() && wasShown) PostQuitMessage(0);
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    default:  // every other message is the default procedure's
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool registerWindowClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance();
  wc.hIcon = programIcon(true);
  wc.hIconSm = programIcon(false);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  registered = RegisterClassExA(&wc) != 0 && registerDrawnControls(instance());
  return registered;
}

DWORD frameStyle(const Frame& f) {
  DWORD style = WS_CAPTION | WS_SYSMENU;
  if (f.resizable) style |= WS_THICKFRAME;
  if (f.minimizeBox) style |= WS_MINIMIZEBOX;
  if (f.maximizeBox) style |= WS_MAXIMIZEBOX;
  return style;
}

HWND createControl(HWND parent, const ControlLayout& c) {
  DWORD style = WS_CHILD | WS_VISIBLE;
  if (c.tabStop) style |= WS_TABSTOP;
  const char* cls = nullptr;
  DWORD exStyle = 0;
  switch (c.kind) {
    case ControlKind::PushButton:
      cls = "BUTTON";
      style |= BS_PUSHBUTTON | BS_MULTILINE;
      break;
    case ControlKind::RadioBox:
      cls = "BUTTON";
      style |= BS_AUTORADIOBUTTON | BS_MULTILINE;
      break;
    case ControlKind::EditBox:
      cls = "EDIT";
      style |= ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::TransLabel:
    case ControlKind::PicBox:
      return createDrawnControl(parent, c, instance());
  }
  HWND hwnd = CreateWindowExA(exStyle, cls, c.text, style, c.left, c.top, c.width, c.height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance(), nullptr);
  if (hwnd) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  if (hwnd && c.kind == ControlKind::EditBox) {
    SendMessageA(hwnd, EM_LIMITTEXT, 0, 0);
    SendMessageA(hwnd, EM_SETSEL, 0, 0);
    SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
  }
  return hwnd;
}

// Create hidden, controls in stacking order, created handler, show.
OpenWindow* createAndShow(const WindowLayout& layout) {
  if (findOpen(layout) || layout.controlCount > kMaxControls || !registerWindowClass()) return nullptr;
  OpenWindow* w = nullptr;
  for (OpenWindow& slot : g_open) {
    if (!slot.layout) {
      w = &slot;
      break;
    }
  }
  if (!w) return nullptr;
  *w = OpenWindow{};
  w->layout = &layout;

  const int left = (GetSystemMetrics(SM_CXSCREEN) - layout.width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - layout.height) / 2;
  const DWORD exStyle = layout.frame.toolWindow ? WS_EX_TOOLWINDOW : 0;
  HWND hwnd = CreateWindowExA(exStyle, kWindowClass, layout.caption, frameStyle(layout.frame), left, top,
                              layout.width, layout.height, nullptr, nullptr, instance(), w);
  if (!hwnd) {
    *w = OpenWindow{};
    return nullptr;
  }
  // The outer size is the window's, whatever the system made of the
  // request. Moving a window costs a round trip to the window system, so
  // only a window that did not come out as asked is moved.
  RECT outer;
  if (!GetWindowRect(hwnd, &outer) || outer.left != left || outer.top != top ||
      outer.right - outer.left != layout.width || outer.bottom - outer.top != layout.height) {
    SetWindowPos(hwnd, nullptr, left, top, layout.width, layout.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  // The icons are the class's (registerWindowClass): setting them again per
  // window would only make the window system convert them once more.

  for (std::size_t i = 0; i < layout.controlCount; ++i) {
    HWND control = createControl(hwnd, layout.controls[i]);
    if (!control) {
      DestroyWindow(hwnd);  // frees w's slot
      return nullptr;
    }
    // Each new control goes beneath those before it: the first stays on top.
    // A new child already comes last; it is moved only if it did not.
    if (GetWindow(control, GW_HWNDNEXT)) {
      SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    w->controls[w->controlCount++] = control;
  }

  dispatch(*w, kWindowItself, Event::Created);
  if (!IsWindow(hwnd)) return nullptr;  // the handler closed it
  w->shown = true;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  return w;
}

Key keyOf(WPARAM vk) {
  switch (vk) {
    case VK_ESCAPE: return Key::Escape;
    case VK_TAB: return Key::Tab;
    case VK_RETURN: return Key::Enter;
    case VK_LEFT: return Key::Left;
    case VK_RIGHT: return Key::Right;
    case VK_UP: return Key::Up;
    case VK_DOWN: return Key::Down;
    default: break;  // letters, digits and the rest below
  }
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return Key::Letter;
  return Key::Other;
}

// The keyboard filter: true when the key was handled and must not reach the
// control.
bool filterKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  OpenWindow* w = root ? findOpen(root) : nullptr;
  if (!w) return false;
  KeyPress press;
  press.key = keyOf(msg.wParam);
  press.shift = GetKeyState(VK_SHIFT) < 0;
  press.alt = (msg.lParam & (1 << 29)) != 0;
  if (press.key == Key::Letter) press.letter = static_cast<char>(msg.wParam);
  const KeyAction action = decideKey(*w->layout, indexOfControl(*w, msg.hwnd), press);
  const bool validControl = action.control >= 0 && action.control < static_cast<int>(w->controlCount);
  switch (action.kind) {
    case KeyActionKind::PassOn:
      return false;
    case KeyActionKind::Close:
      SendMessageA(root, WM_CLOSE, 0, 0);
      return true;
    case KeyActionKind::Focus:
      if (validControl) SetFocus(w->controls[action.control]);
      return true;
    case KeyActionKind::FocusAndCheck: {
      if (!validControl) return true;
      HWND target = w->controls[action.control];
      SetFocus(target);
      for (std::size_t i = 0; i < w->controlCount; ++i) {
        if (w->layout->controls[i].kind == ControlKind::RadioBox) {
          SendMessageA(w->controls[i], BM_SETCHECK, BST_UNCHECKED, 0);
        }
      }
      SendMessageA(target, BM_SETCHECK, BST_CHECKED, 0);
      SendMessageA(root, WM_COMMAND, MAKEWPARAM(w->layout->controls[action.control].id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(target));
      return true;
    }
    case KeyActionKind::Click:
      if (validControl) {
        SetFocus(w->controls[action.control]);
        PostMessageA(w->controls[action.control], BM_CLICK, 0, 0);
      }
      return true;
  }
  return false;
}

// Pumps messages until `until` is destroyed (or, with nullptr, until the
// quit message). A quit message seen by a nested loop is posted again so
// that the outer loop ends too.
int pumpMessages(HWND until) {
  MSG msg;
  while (!until || IsWindow(until)) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) return -1;
    if (got == 0) {
      if (until) PostQuitMessage(static_cast<int>(msg.wParam));
      return static_cast<int>(msg.wParam);
    }
    if (filterKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace

HICON programIcon(bool large) {
  static HICON icons[2] = {nullptr, nullptr};
  const int size = large ? 32 : 16;
  HICON& icon = icons[large ? 1 : 0];
  if (!icon) {
    icon = static_cast<HICON>(LoadImageA(instance(), "DEFAULT_ICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  }
  return icon;
}

HWND windowHandle(const WindowLayout& window) {
  OpenWindow* w = findOpen(window);
  return w ? w->hwnd : nullptr;
}

HWND controlHandle(const WindowLayout& window, int control) {
  OpenWindow* w = findOpen(window);
  if (!w) return nullptr;
  const int i = controlIndex(window, control);
  return (i >= 0 && i < static_cast<int>(w->controlCount)) ? w->controls[i] : nullptr;
}

bool openStartWindow(const WindowLayout& window) { return createAndShow(window) != nullptr; }

int runMessageLoop() { return pumpMessages(nullptr); }

bool loadWindow(const WindowLayout& window, bool asDialog) {
  HWND previousActive = GetActiveWindow();
  OpenWindow* w = createAndShow(window);
  if (!w) return false;
  if (!asDialog) return true;
  HWND hwnd = w->hwnd;
  for (OpenWindow& other : g_open) {
    if (&other == w || !other.layout || !other.hwnd) continue;
    w->disabled[w->disabledCount++] = {other.hwnd, IsWindowEnabled(other.hwnd) != FALSE};
    EnableWindow(other.hwnd, FALSE);
  }
  pumpMessages(hwnd);
  // Give the activation back to the window the dialog was opened from.
  if (previousActive && IsWindow(previousActive) && IsWindowEnabled(previousActive)) {
    SetActiveWindow(previousActive);
  }
  return true;
}

void closeWindow(const WindowLayout& window) {
  if (OpenWindow* w = findOpen(window)) PostMessageA(w->hwnd, kCloseRequest, 0, 0);
}

void setChecked(const WindowLayout& window, int control, bool checked) {
  if (HWND hwnd = controlHandle(window, control)) {
    SendMessageA(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    keepDeclaredTabStops(*findOpen(window));
  }
}

bool isChecked(const WindowLayout& window, int control) {
  HWND hwnd = controlHandle(window, control);
  return hwnd && SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void setPicture(const WindowLayout& window, int control, const unsigned char* bytes, std::size_t size) {
  if (HWND hwnd = controlHandle(window, control)) {
    SendMessageA(hwnd, kPicBoxSetPicture, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(bytes));
  }
}

}  // namespace kestrana
