// The About window written by hand, opened from the hand-written main
// window the way the program opens its own: shown over the disabled main
// window, with a nested message loop until it is closed. The logo is
// decoded with the same libpng and laid over the window's face colour.
#include <windows.h>
#include <png.h>

#include <cstdlib>
#include <cstring>

#include "bench/handwritten.h"
#include "info/logo.h"

namespace {

enum { kChangeLog = 1, kLogo, kContact, kOk, kWelcome, kForum, kNote, kCredit, kVersion, kName };

HBITMAP g_logo;
HWND g_focus;  // as in the main window; at first the OK button

// The logo as a top-down 32-bit DIB over the face colour, or nullptr.
HBITMAP decodeLogo() {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, kestrana::kLogoPng, kestrana::kLogoPngSize)) return nullptr;
  image.format = PNG_FORMAT_BGRA;
  const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !png_image_finish_read(&image, nullptr, bits, 0, nullptr)) {
    png_image_free(&image);
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const unsigned back[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
  auto* p = static_cast<unsigned char*>(bits);
  for (int i = 0; i < width * height; ++i, p += 4) {
    const unsigned a = p[3];
    for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>((p[c] * a + back[c] * (255 - a) + 127) / 255);
    p[3] = 0;
  }
  return bitmap;
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (g_logo) {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, g_logo);
      BitBlt(dc, 0, 0, 100, 100, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK aboutProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kOk) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_ACTIVATE) {
    if (LOWORD(wParam) == WA_INACTIVE) {
      g_focus = GetFocus();
    } else if (HIWORD(wParam) == 0) {
      SetFocus(g_focus ? g_focus : hwnd);
    }
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void openAbout(HWND owner) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  static bool registered = false;
  if (!registered) {
    registerFrameClass(instance, "HandAbout", aboutProc);
    WNDCLASSA picture{};
    picture.lpfnWndProc = pictureProc;
    picture.hInstance = instance;
    picture.hCursor = LoadCursor(nullptr, IDC_ARROW);
    picture.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    picture.lpszClassName = "HandPicture";
    RegisterClassA(&picture);
    registered = true;
  }
  HFONT bold = boldFont(false);
  HFONT underlined = boldFont(true);
  const UINT left = DT_NOCLIP | DT_LEFT | DT_SINGLELINE | DT_VCENTER;
  const UINT center = DT_NOCLIP | DT_CENTER | DT_SINGLELINE | DT_VCENTER;
  const Label link = {RGB(0, 0, 255), underlined, left, true};
  const Label plain = {RGB(0, 0, 0), nullptr, left, false};
  const Label centered = {RGB(0, 0, 0), nullptr, center, false};
  const Label note = {RGB(255, 0, 0), bold, DT_NOCLIP | DT_LEFT | DT_WORDBREAK, false};

  const int width = 430, height = 230;
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "HandAbout", "关于", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                instance, nullptr);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  child(window, kLabelClass, "更新日志", 0, 8, 148, 56, 24, kChangeLog, &link);
  child(window, "HandPicture", "", 0, 16, 40, 100, 100, kLogo);
  child(window, "BUTTON", "与我联系(&C)", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 232, 148, 80, 32, kContact);
  g_focus = child(window, "BUTTON", "确定", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 320, 148, 80, 32, kOk);
  child(window, kLabelClass, "Quorvel论坛欢迎您：", 0, 160, 112, 120, 24, kWelcome, &plain);
  child(window, kLabelClass, "bbs.example.org", 0, 285, 112, 120, 24, kForum, &link);
  child(window, kLabelClass, "", 0, 136, 80, 264, 32, kNote, &note);
  child(window, kLabelClass, "By Quorvel@Lirren", 0, 156, 56, 112, 16, kCredit, &centered);
  child(window, kLabelClass, "V1.1", 0, 186, 33, 52, 16, kVersion, &centered);
  child(window, kLabelClass, "Kestrana", 0, 154, 8, 116, 24, kName, &plain);
  g_logo = decodeLogo();

  EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG msg;
  while (IsWindow(window) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EnableWindow(owner, TRUE);
  SetActiveWindow(owner);
  if (g_logo) DeleteObject(g_logo);
  g_logo = nullptr;
  DeleteObject(bold);
  DeleteObject(underlined);
}
