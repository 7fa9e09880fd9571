#include "ui/controls_win.h"

#include <cstdint>
#include <vector>

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
  std::vector<unsigned char> bytes;
  HBITMAP bitmap = nullptr;
  int width = 0, height = 0;
};

template <typename T>
T* stateOf(HWND hwnd) {
  return reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
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
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
      auto* created = new LabelState;
      created->layout = static_cast<const ControlLayout*>(cs->lpCreateParams);
      if (created->layout->font != FontKind::Default) {
        created->ownFont = createFont(LabelFont(created->layout->font == FontKind::LabelUnderlined));
        created->font = created->ownFont;
      }
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
      break;
    }
    case WM_NCDESTROY:
      if (state) {
        if (state->ownFont) DeleteObject(state->ownFont);
        delete state;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
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
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void showPicture(HWND hwnd, PictureState& state) {
  if (state.bitmap) DeleteObject(state.bitmap);
  state.bitmap = nullptr;
  state.width = state.height = 0;
  Picture picture;
  if (decodePng(state.bytes.data(), state.bytes.size(), picture)) {
    const DWORD face = GetSysColor(COLOR_BTNFACE);
    const auto pixels = compositeOver(picture, Rgb{GetRValue(face), GetGValue(face), GetBValue(face)});
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    state.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (state.bitmap && bits) {
      CopyMemory(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
      state.width = picture.width;
      state.height = picture.height;
    } else if (state.bitmap) {
      DeleteObject(state.bitmap);
      state.bitmap = nullptr;
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
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new PictureState));
      break;
    case WM_NCDESTROY:
      if (state) {
        if (state->bitmap) DeleteObject(state->bitmap);
        delete state;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      }
      break;
    case kPicBoxSetPicture:
      if (state) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(lParam);
        state->bytes.assign(bytes, bytes + (bytes ? wParam : 0));
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
