#include "ui/controls_win.h"

#include <cstdint>
#include <new>

#include "ui/label_font.h"
#include "ui/png_picture.h"

namespace kestrana {

namespace {

// TransLabel: the font it owns (when it has one of its own) and its layout.
struct LabelState {
  const ControlLayout* layout = nullptr;
  HFONT ownFont = nullptr;
  HFONT font = nullptr;
};

struct PictureState {
  unsigned char* bytes = nullptr;  // the box's copy, on the process heap
  std::size_t size = 0;
  HBITMAP bitmap = nullptr;
  int width = 0, height = 0;
};

template <typename T>
T* stateOf(HWND hwnd) {
  return reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// A control's state lives on the process heap, allocated without anything
// that could throw; nullptr when there is no memory, and the control is then
// not created.
template <typename T>
T* createState(HWND hwnd) {
  void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
  if (!memory) return nullptr;
  T* state = new (memory) T;
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  return state;
}

template <typename T>
void destroyState(HWND hwnd, T* state) {
  state->~T();
  HeapFree(GetProcessHeap(), 0, state);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
}

HFONT createFont(const FontRecord& f) {
  LOGFONTA lf{};
  lf.lfHeight = f.height;
  lf.lfWidth = f.width;
  lf.lfEscapement = f.escapement;
  lf.lfOrientation = f.orientation;
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfUnderline = f.underline;
  lf.lfStrikeOut = f.strikeOut;
  lf.lfCharSet = f.charSet;
  lf.lfOutPrecision = f.outPrecision;
  lf.lfClipPrecision = f.clipPrecision;
  lf.lfQuality = f.quality;
  lf.lfPitchAndFamily = f.pitchAndFamily;
  lstrcpynA(lf.lfFaceName, f.faceName, LF_FACESIZE);
  return CreateFontIndirectA(&lf);
}

UINT drawTextFlags(const ControlLayout& layout) {
  UINT flags = DT_NOCLIP;
  switch (layout.align) {
    case HAlign::Left: flags |= DT_LEFT; break;
    case HAlign::Center: flags |= DT_CENTER; break;
    case HAlign::Right: flags |= DT_RIGHT; break;
  }
  if (layout.wordWrap) return flags | DT_WORDBREAK;
  flags |= DT_SINGLELINE;
  switch (layout.valign) {
    case VAlign::Top: flags |= DT_TOP; break;
    case VAlign::Center: flags |= DT_VCENTER; break;
    case VAlign::Bottom: flags |= DT_BOTTOM; break;
  }
  return flags;
}

bool setHandCursor(const ControlLayout& layout) {
  SetCursor(LoadCursor(nullptr, layout.handCursor ? IDC_HAND : IDC_ARROW));
  return true;
}

void notifyMouseDown(HWND hwnd, LPARAM position) {
  SendMessageA(GetParent(hwnd), kControlMouseDown, static_cast<WPARAM>(GetDlgCtrlID(hwnd)), position);
}

void paintLabel(HWND hwnd, LabelState& state) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  char text[1024];
  const int length = GetWindowTextA(hwnd, text, sizeof text);
  RECT rect;
  GetClientRect(hwnd, &rect);
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, RGB(state.layout->color.r, state.layout->color.g, state.layout->color.b));
  HGDIOBJ oldFont = SelectObject(dc, state.font ? state.font : GetStockObject(DEFAULT_GUI_FONT));
  DrawTextA(dc, text, length, &rect, drawTextFlags(*state.layout));
  SelectObject(dc, oldFont);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK labelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LabelState* state = stateOf<LabelState>(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      auto* created = createState<LabelState>(hwnd);
      if (!created) return FALSE;
      created->layout = static_cast<const ControlLayout*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      if (created->layout->font != FontKind::Default) {
        created->ownFont = createFont(LabelFont(created->layout->font == FontKind::LabelUnderlined));
        created->font = created->ownFont;
      }
      break;
    }
    case WM_NCDESTROY:
      if (state) {
        if (state->ownFont) DeleteObject(state->ownFont);
        destroyState(hwnd, state);
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // no background of its own: the window's shows through
    case WM_PAINT:
      if (state) {
        paintLabel(hwnd, *state);
        return 0;
      }
      break;
    case WM_SETTEXT: {
      // The parent's background has to be painted again under a new text.
      const LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
      RECT rect;
      GetWindowRect(hwnd, &rect);
      MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
      InvalidateRect(GetParent(hwnd), &rect, TRUE);
      return r;
    }
    case WM_SETFONT:
      // A label with a font of its own keeps it.
      if (state && !state->ownFont) state->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return state ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_SETCURSOR:
      if (state && LOWORD(lParam) == HTCLIENT) return setHandCursor(*state->layout);
      break;
    case WM_LBUTTONDOWN:
      notifyMouseDown(hwnd, lParam);
      return 0;
    default:  // every other message is the default procedure's
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void forgetPicture(PictureState& state) {
  if (state.bitmap) DeleteObject(state.bitmap);
  state.bitmap = nullptr;
  state.width = state.height = 0;
}

void forgetBytes(PictureState& state) {
  if (state.bytes) HeapFree(GetProcessHeap(), 0, state.bytes);
  state.bytes = nullptr;
  state.size = 0;
}

// Decodes the box's bytes straight into the memory of a new bitmap. Bytes
// that do not decode, and a bitmap that cannot be had, leave no picture.
void showPicture(HWND hwnd, PictureState& state) {
  forgetPicture(state);
  PngImage png;
  if (openPng(state.bytes, state.size, png)) {
    const int width = png.width(), height = png.height();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits && decodePng(png, static_cast<std::uint8_t*>(bits))) {
      const DWORD face = GetSysColor(COLOR_BTNFACE);
      compositeOver(static_cast<std::uint8_t*>(bits), static_cast<std::size_t>(width) * height,
                    Rgb{GetRValue(face), GetGValue(face), GetBValue(face)});
      state.bitmap = bitmap;
      state.width = width;
      state.height = height;
    } else if (bitmap) {
      DeleteObject(bitmap);
    }
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

void paintPicture(HWND hwnd, const PictureState& state) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (state.bitmap) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, state.bitmap);
    // The box's own DC clips whatever of the picture falls outside it.
    BitBlt(dc, 0, 0, state.width, state.height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  PictureState* state = stateOf<PictureState>(hwnd);
  switch (msg) {
    case WM_NCCREATE:
      if (!createState<PictureState>(hwnd)) return FALSE;
      break;
    case WM_NCDESTROY:
      if (state) {
        forgetPicture(*state);
        forgetBytes(*state);
        destroyState(hwnd, state);
      }
      break;
    case kPicBoxSetPicture:
      if (state) {
        // The box keeps a copy of the bytes; without memory for one it has
        // no bytes and so no picture.
        forgetBytes(*state);
        const auto* bytes = reinterpret_cast<const unsigned char*>(lParam);
        const std::size_t size = bytes ? static_cast<std::size_t>(wParam) : 0;
        if (size > 0) state->bytes = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, size));
        if (state->bytes) {
          CopyMemory(state->bytes, bytes, size);
          state->size = size;
        }
        showPicture(hwnd, *state);
      }
      return 0;
    case WM_PAINT:
      if (state) {
        paintPicture(hwnd, *state);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      notifyMouseDown(hwnd, lParam);
      return 0;
    default:  // every other message is the default procedure's
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

bool registerDrawnControls(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA label{};
  label.lpfnWndProc = labelProc;
  label.hInstance = instance;
  label.hCursor = LoadCursor(nullptr, IDC_ARROW);
  label.lpszClassName = kTransLabelClass;
  WNDCLASSA picture{};
  picture.lpfnWndProc = pictureProc;
  picture.hInstance = instance;
  picture.hCursor = LoadCursor(nullptr, IDC_ARROW);
  picture.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  picture.lpszClassName = kPicBoxClass;
  registered = RegisterClassA(&label) != 0 && RegisterClassA(&picture) != 0;
  return registered;
}

HWND createDrawnControl(HWND parent, const ControlLayout& layout, HINSTANCE instance) {
  const char* cls = layout.kind == ControlKind::PicBox ? kPicBoxClass : kTransLabelClass;
  DWORD style = WS_CHILD | WS_VISIBLE;
  if (layout.tabStop) style |= WS_TABSTOP;
  return CreateWindowExA(0, cls, layout.text, style, layout.left, layout.top, layout.width, layout.height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance,
                         const_cast<ControlLayout*>(&layout));
}

}  // namespace kestrana
