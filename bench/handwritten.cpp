// The main window written by hand in one WinMain, as a careful programmer
// would without any table layer: the yardstick the program's start is
// measured against. Same start-up steps, classes, controls, texts, fonts,
// icon and manifest as the program; nothing is shared with its code. With
// BENCH_ABOUT the About button opens the hand-written About window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "bench/handwritten.h"

namespace {

HFONT g_boldFont;
// The control with the focus while the window is not active; at first the
// checked choice, else the first stop of the Tab order, as in the program.
HWND g_focus;

constexpr char kNotice[] =
    "注意：\r\n"
    "本工具通过修改注册表中的USBstor属性来实现USB接口开启关闭，一旦禁用，所有USB接口设备都无法使用，"
    "包括但不限于U盘、扫描仪、打印机等基于USB接口的设备，切记！\r\n"
    "2、来宾或其他低权限的身份无法设置USB接口运行状态，请以管理员身份运行此工具。\r\n";

enum { kHeading = 1, kNoticeLabel, kAbout, kExit, kApply, kDisabled, kAutomatic, kManual };

const Label kHeadingLabel = {RGB(0, 0, 0), nullptr, DT_NOCLIP | DT_LEFT | DT_SINGLELINE | DT_VCENTER, false};
Label g_noticeLabel = {RGB(255, 0, 0), nullptr, DT_NOCLIP | DT_LEFT | DT_WORDBREAK, false};

// The registry's start value shown as the checked choice.
void showStartValue(HWND window) {
  HKEY key;
  DWORD value = 0, type = 0, size = sizeof value;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\USBstor", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  if (RegQueryValueExA(key, "Start", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    value = 0;
  }
  RegCloseKey(key);
  int checked = value == 2 ? kAutomatic : value == 3 ? kManual : value == 4 ? kDisabled : 0;
  if (checked) {
    SendDlgItemMessageA(window, checked, BM_SETCHECK, BST_CHECKED, 0);
    g_focus = GetDlgItem(window, checked);
  }
}

bool versionPasses() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwMajorVersion >= 6;
}

LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kAbout:
            openAbout(hwnd);
            return 0;
          case kExit:
            DestroyWindow(hwnd);
            return 0;
        }
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        g_focus = GetFocus();
      } else if (HIWORD(wParam) == 0) {
        SetFocus(g_focus ? g_focus : hwnd);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HFONT boldFont(bool underline) {
  LOGFONTA lf{};
  lf.lfHeight = -12;
  lf.lfWeight = FW_BOLD;
  lf.lfUnderline = underline;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = PROOF_QUALITY;
  return CreateFontIndirectA(&lf);
}

LRESULT CALLBACK labelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto* label = reinterpret_cast<const Label*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (label && label->hand && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      char text[1024];
      const int length = GetWindowTextA(hwnd, text, sizeof text);
      RECT rect;
      GetClientRect(hwnd, &rect);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, label->color);
      SelectObject(dc, label->font ? label->font : GetStockObject(DEFAULT_GUI_FONT));
      DrawTextA(dc, text, length, &rect, label->format);
      EndPaint(hwnd, &ps);
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void registerFrameClass(HINSTANCE instance, const char* name, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(LoadImageA(instance, "DEFAULT_ICON", IMAGE_ICON, 32, 32, 0));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, "DEFAULT_ICON", IMAGE_ICON, 16, 16, 0));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExA(&wc);
}

HWND child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id,
           const void* param) {
  HWND hwnd = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                              const_cast<void*>(param));
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return hwnd;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  OleInitialize(nullptr);
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    char* cut = nullptr;
    for (char* p = path; *p; ++p) {
      if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
        ++p;
      } else if (*p == '\\') {
        cut = p;
      }
    }
    if (cut) *cut = 0;
    SetCurrentDirectoryA(path);
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  registerFrameClass(instance, "HandMain", mainProc);
  WNDCLASSA label{};
  label.lpfnWndProc = labelProc;
  label.hInstance = instance;
  label.hCursor = LoadCursor(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  RegisterClassA(&label);

  const int width = 350, height = 330;
  HWND window = CreateWindowExA(0, "HandMain", "Kestrana", WS_CAPTION | WS_SYSMENU,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                instance, nullptr);
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  g_boldFont = boldFont(false);
  g_noticeLabel.font = g_boldFont;
  // Created top to bottom of the stacking order.
  child(window, kLabelClass, "请选择USB接口运行状态", 0, 16, 16, 312, 24, kHeading, &kHeadingLabel);
  child(window, kLabelClass, kNotice, 0, 24, 163, 296, 101, kNoticeLabel, &g_noticeLabel);
  child(window, "BUTTON", "关于(&A)", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 64, 262, 80, 32, kAbout);
  child(window, "BUTTON", "退出(&X)", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 256, 262, 80, 32, kExit);
  child(window, "BUTTON", "应用设置(&S)", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 160, 262, 80, 32, kApply);
  child(window, "BUTTON", "禁用", WS_TABSTOP | BS_AUTORADIOBUTTON | BS_MULTILINE, 16, 128, 312, 24, kDisabled);
  child(window, "BUTTON", "自动启用", WS_TABSTOP | BS_AUTORADIOBUTTON | BS_MULTILINE, 16, 56, 312, 24, kAutomatic);
  g_focus = child(window, "BUTTON", "手动启用", WS_TABSTOP | BS_AUTORADIOBUTTON | BS_MULTILINE, 16, 92, 312, 24, kManual);
  if (!versionPasses()) {
    MessageBoxA(nullptr, "非常抱歉，您的系统版本过低！本工具至少要在Windows Vista及以上的版本才能运行！", "无法运行",
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(0);
  }
  showStartValue(window);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(GetAncestor(msg.hwnd, GA_ROOT), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DeleteObject(g_boldFont);
  OleUninitialize();
  return 0;
}

#ifndef BENCH_ABOUT
void openAbout(HWND) {}
#endif
