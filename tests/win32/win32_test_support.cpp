#include "win32_test_support.h"

#include <cstdio>

namespace kestrana_test {

std::string shown(std::string_view gbk) {
  std::string out = "\"";
  const int wide = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (wide > 0) {
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), wide);
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, utf8.data(), n, nullptr, nullptr);
    out += utf8;
  }
  out += "\" [";
  char byte[4];
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", static_cast<unsigned char>(gbk[i]));
    out += byte;
  }
  out += "]";
  return out;
}

std::string windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return "<no answer>";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied)) {
    return "<no answer>";
  }
  text.resize(copied);
  return text;
}

std::string className(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

std::vector<HWND> childrenInStackingOrder(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child && children.size() < 1000;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

void pumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void dropQuitMessage() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

bool pumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    pumpPending();
  }
  return true;
}

namespace {

struct Search {
  const char* cls;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId() && className(hwnd) == search->cls) search->found.push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> processWindows(const char* cls) {
  Search search{cls, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace kestrana_test
