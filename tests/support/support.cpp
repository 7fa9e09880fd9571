#include "support/support.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace kestrana_test {

// ---------------------------------------------------------------- texts

std::string hex(std::uint64_t value, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llx", digits, static_cast<unsigned long long>(value));
  return buffer;
}

std::string hexBytes(const void* data, std::size_t size) {
  if (size == 0) return "(none)";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    if (i) out += ' ';
    out += hex(bytes[i], 2);
  }
  return out;
}

std::string utf8(std::string_view text) {
  auto continuation = [](unsigned char b) { return b >= 0x80 && b <= 0xBF; };
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += text[i++];
      continue;
    }
    if (b >= 0xE0 && b <= 0xEF && i + 2 < text.size() && continuation(text[i + 1]) && continuation(text[i + 2])) {
      out.append(text, i, 3);
      i += 3;
      continue;
    }
    // Code page 936 lead bytes are 81-FE.
    const int n = (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    wchar_t wide[2] = {};
    const int w = MultiByteToWideChar(936, 0, text.data() + i, n, wide, 2);
    char buffer[8];
    const int m = w > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, w, buffer, sizeof buffer, nullptr, nullptr) : 0;
    if (m > 0) out.append(buffer, m);
    else out += '?';
    i += n;
  }
  return out;
}

std::string shown(std::string_view gbk) {
  std::string out = "\"";
  out += utf8(gbk);
  out += "\" [";
  out += hexBytes(gbk.data(), gbk.size());
  out += ']';
  return out;
}

bool codePageIsGbk(const char* program) {
  const UINT codePage = GetACP();
  if (codePage == 936) return true;
  std::fprintf(stderr,
               "%s: the ANSI code page is %u, expected 936 (GBK): run under the zh_CN.UTF-8 locale (generated), "
               "as scripts/wine-session.sh does, or every Chinese text compares garbled\n",
               program, codePage);
  return false;
}

std::string environmentValue(const char* name) {
  wchar_t wideName[64] = {};
  MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 64);
  const DWORD length = GetEnvironmentVariableW(wideName, nullptr, 0);
  if (length == 0) return "";
  std::wstring wide(length, L'\0');
  wide.resize(GetEnvironmentVariableW(wideName, wide.data(), length));
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string value(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), value.data(), bytes, nullptr, nullptr);
  return value;
}

bool underWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool runsAsItsSuiteSays(const char* program) {
  const std::string suite = environmentValue("KESTRANA_ARCH");
  if (suite.empty()) return true;  // not started by a suite
  const bool wanted = suite == "wow64";
  if (wanted == underWow64()) return true;
  std::fprintf(stderr, "%s: KESTRANA_ARCH=%s, but this process runs %s WOW64: the prefix is not the one the suite needs\n",
               program, suite.c_str(), wanted ? "outside" : "under");
  return false;
}

// ---------------------------------------------------------------- waiting and messages

DWORD limitMs(DWORD ms) {
  const int times = std::atoi(environmentValue("KESTRANA_LIMIT_FACTOR").c_str());
  return times > 1 ? ms * static_cast<DWORD>(times) : ms;
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs) {
  timeoutMs = limitMs(timeoutMs);
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(stepMs);
  }
}

std::optional<LRESULT> sendWithin(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, limitMs(timeoutMs), &result)) return std::nullopt;
  return static_cast<LRESULT>(result);
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

// ---------------------------------------------------------------- windows

std::string windowText(HWND hwnd) {
  const auto length = sendWithin(hwnd, WM_GETTEXTLENGTH);
  if (!length) return "<no answer>";
  std::string text(static_cast<std::size_t>(*length) + 1, '\0');
  const auto copied = sendWithin(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  if (!copied) return "<no answer>";
  text.resize(std::min(static_cast<std::size_t>(*copied), text.size() - 1));
  return text;
}

std::string className(HWND hwnd) {
  char name[256] = {};
  const int n = GetClassNameA(hwnd, name, sizeof name);
  return std::string(name, n > 0 ? n : 0);
}

bool hasClass(HWND hwnd, const char* cls) { return lstrcmpiA(className(hwnd).c_str(), cls) == 0; }

DWORD processOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

namespace {

struct TopSearch {
  DWORD pid;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK collectTop(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TopSearch*>(param);
  if ((search->pid == 0 || processOf(hwnd) == search->pid) && (!search->visibleOnly || IsWindowVisible(hwnd))) {
    search->found.push_back(hwnd);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> topWindows(DWORD pid, bool visibleOnly) {
  TopSearch search{pid, visibleOnly, {}};
  EnumWindows(collectTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string keptText(HWND hwnd) {
  char text[512] = {};
  const int n = GetWindowTextA(hwnd, text, sizeof text);
  return std::string(text, n > 0 ? n : 0);
}

HWND findTopWindow(DWORD pid, const char* caption, const char* cls, Caption read) {
  for (HWND hwnd : topWindows(pid)) {
    if (cls && !hasClass(hwnd, cls)) continue;
    if (caption && (read == Caption::Kept ? keptText(hwnd) : windowText(hwnd)) != caption) continue;
    return hwnd;
  }
  return nullptr;
}

std::vector<HWND> childrenOf(HWND parent) {
  std::vector<HWND> children;
  // A broken list must not hang the caller.
  for (HWND c = GetWindow(parent, GW_CHILD); c && children.size() < 1000; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

HWND childByText(HWND parent, std::string_view text) {
  for (HWND c : childrenOf(parent)) {
    if (windowText(c) == text) return c;
  }
  return nullptr;
}

RECT outerRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT rectInParent(HWND control) {
  RECT r = outerRect(control);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT centredOnScreen(int width, int height) {
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return RECT{left, top, left + width, top + height};
}

std::string describe(const RECT& r) {
  std::ostringstream s;
  s << "(" << r.left << "," << r.top << " " << (r.right - r.left) << "x" << (r.bottom - r.top) << ")";
  return s.str();
}

std::string describe(HWND hwnd) {
  if (!hwnd) return "(no window)";
  std::ostringstream s;
  s << className(hwnd) << " \"" << windowText(hwnd) << "\" id " << GetDlgCtrlID(hwnd) << " hwnd " << hwnd;
  return s.str();
}

void pressButton(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void postClickAt(HWND control, POINT p) {
  const LPARAM at = MAKELPARAM(p.x, p.y);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(control, WM_LBUTTONUP, 0, at);
}

// ---------------------------------------------------------------- message boxes

bool MessageBoxInfo::hasButton(int id) const {
  return std::any_of(buttons.begin(), buttons.end(), [id](const BoxButton& b) { return b.id == id; });
}

std::vector<int> MessageBoxInfo::buttonIds() const {
  std::vector<int> ids;
  for (const BoxButton& b : buttons) ids.push_back(b.id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

HWND findMessageBox(DWORD pid) { return findTopWindow(pid, nullptr, "#32770"); }

MessageBoxInfo readMessageBox(HWND box) {
  MessageBoxInfo info;
  info.hwnd = box;
  if (!box) return info;
  info.caption = windowText(box);
  if (HWND text = GetDlgItem(box, 0xFFFF)) info.text = windowText(text);
  for (HWND c : childrenOf(box)) {
    if (hasClass(c, "Button") && IsWindowVisible(c)) info.buttons.push_back({GetDlgCtrlID(c), windowText(c)});
  }
  return info;
}

bool pressBoxButton(HWND box, int id) {
  HWND button = box ? GetDlgItem(box, id) : nullptr;
  if (!button || !IsWindowVisible(button)) return false;
  pressButton(button);
  return true;
}

// ---------------------------------------------------------------- processes and paths

std::string windowsPathOf(std::string_view unixPath) {
  std::string out = "Z:";
  for (char c : unixPath) out += c == '/' ? '\\' : c;
  return out;
}

std::string ownPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string inQuotes(std::string_view path) {
  std::string out(1, '"');
  out += path;
  out += '"';
  return out;
}

Process::~Process() {
  terminate();
  if (thread_) CloseHandle(thread_);
  if (process_) CloseHandle(process_);
}

bool Process::start(const std::string& exe, const std::string& commandLine, const std::string& folder) {
  if (process_) {
    error_ = ERROR_ALREADY_EXISTS;
    return false;
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;  // CreateProcessA may write into it
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    error_ = GetLastError();
    return false;
  }
  process_ = pi.hProcess;
  thread_ = pi.hThread;
  pid_ = pi.dwProcessId;
  return true;
}

bool Process::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::waitExit(DWORD timeoutMs) {
  if (exitCode_) return exitCode_;
  if (!process_ || WaitForSingleObject(process_, limitMs(timeoutMs)) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
  exitCode_ = code;
  return exitCode_;
}

void Process::terminate(DWORD exitCode) {
  if (!running()) return;
  TerminateProcess(process_, exitCode);
  WaitForSingleObject(process_, limitMs(5000));
}

// ---------------------------------------------------------------- registry

std::optional<DWORD> RegValue::dword() const {
  if (!exists() || type != REG_DWORD || bytes.size() != 4) return std::nullopt;
  return static_cast<DWORD>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24);
}

std::vector<unsigned char> dwordBytes(DWORD v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

std::vector<unsigned char> stringBytes(std::string_view text) {
  std::vector<unsigned char> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

RegValue readValue(HKEY root, const std::string& key, const std::string& name) {
  RegValue v;
  HKEY h = nullptr;
  v.status = RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &h);
  if (v.status != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.status = RegQueryValueExA(h, name.c_str(), nullptr, &v.type, nullptr, &size);
  if (v.status == ERROR_SUCCESS) {
    v.bytes.resize(size);
    v.status = RegQueryValueExA(h, name.c_str(), nullptr, &v.type, size ? v.bytes.data() : nullptr, &size);
    v.bytes.resize(v.status == ERROR_SUCCESS ? size : 0);
  }
  RegCloseKey(h);
  return v;
}

bool keyExists(HKEY root, const std::string& key) { return openStatus(root, key, KEY_QUERY_VALUE) == ERROR_SUCCESS; }

LONG openStatus(HKEY root, const std::string& key, REGSAM access) {
  HKEY h = nullptr;
  const LONG rc = RegOpenKeyExA(root, key.c_str(), 0, access, &h);
  if (rc == ERROR_SUCCESS) RegCloseKey(h);
  return rc;
}

LONG writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::vector<unsigned char>& bytes) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(h, name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                      static_cast<DWORD>(bytes.size()));
  RegCloseKey(h);
  return rc;
}

LONG deleteValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &h);
  if (rc == ERROR_SUCCESS) {
    rc = RegDeleteValueA(h, name.c_str());
    RegCloseKey(h);
  }
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG deleteKey(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h);
  if (rc == ERROR_ACCESS_DENIED) {
    setKeyDacl(root, key, kFullAccessDacl);
    rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h);
  }
  if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
  std::vector<std::string> children;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, length);
  }
  RegCloseKey(h);
  for (const std::string& child : children) {
    if ((rc = deleteKey(root, key + "\\" + child)) != ERROR_SUCCESS) return rc;
  }
  rc = RegDeleteKeyA(root, key.c_str());
  if (rc == ERROR_ACCESS_DENIED && setKeyDacl(root, key, kFullAccessDacl) == ERROR_SUCCESS) {
    rc = RegDeleteKeyA(root, key.c_str());
  }
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

namespace {

LONG setDacl(HKEY key, const char* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    return static_cast<LONG>(GetLastError());
  }
  const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
  LocalFree(sd);
  return rc;
}

}  // namespace

LONG setKeyDacl(HKEY root, const std::string& key, const char* sddl) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC | READ_CONTROL, &h);
  if (rc != ERROR_SUCCESS) return rc;
  rc = setDacl(h, sddl);
  RegCloseKey(h);
  return rc;
}

std::string regPath(HKEY root, const std::string& key, const std::string& name) {
  std::ostringstream s;
  s << (root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU" : "HKEY") << "\\" << key << " ["
    << (name.empty() ? "(default)" : name) << "]";
  return s.str();
}

std::string describe(const RegValue& v) {
  std::ostringstream s;
  if (!v.exists()) {
    s << "(no value, error " << v.status << ")";
  } else {
    s << "type " << v.type << " bytes[" << v.bytes.size() << "] "
      << hexBytes(v.bytes.data(), std::min<std::size_t>(v.bytes.size(), 64));
    if (const auto d = v.dword()) s << " = " << *d;
  }
  return s.str();
}

KeyDacl::KeyDacl(HKEY root, const std::string& key, const char* sddl) {
  status_ = RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC | READ_CONTROL, &key_);
  if (status_ == ERROR_SUCCESS) status_ = setDacl(key_, sddl);
}

KeyDacl::~KeyDacl() {
  if (!key_) return;
  setDacl(key_, kFullAccessDacl);
  RegCloseKey(key_);
}

SavedValue::SavedValue(HKEY root, std::string key, std::string name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
  original_ = readValue(root_, key_, name_);
  keyExisted_ = keyExists(root_, key_);
}

SavedValue::~SavedValue() {
  if (original_.exists()) {
    writeValue(root_, key_, name_, original_.type, original_.bytes);
  } else if (!keyExisted_) {
    deleteKey(root_, key_);
  } else {
    deleteValue(root_, key_, name_);
  }
}

// ---------------------------------------------------------------- screen

Pixel pixelOf(COLORREF c) { return Pixel{GetRValue(c), GetGValue(c), GetBValue(c)}; }

std::string describe(Pixel p) {
  std::ostringstream s;
  s << "rgb(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << ")";
  return s.str();
}

bool isRedInk(Pixel p) { return p.r >= 160 && p.g <= 110 && p.b <= 110; }
bool isBlueInk(Pixel p) { return p.b >= 160 && p.r <= 110 && p.g <= 110; }
bool isDarkInk(Pixel p) { return p.r < 0x60 && p.g < 0x60 && p.b < 0x60; }

Capture::Capture(int width, int height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
  if (pixels_.size() != static_cast<std::size_t>(width) * height) *this = Capture{};
}

Pixel Capture::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Pixel{};
  const std::uint32_t v = pixels_[static_cast<std::size_t>(y) * width_ + x];
  return Pixel{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

Pixel Capture::atClient(HWND hwnd, int x, int y) const {
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  return at(p.x - origin_.x, p.y - origin_.y);
}

RECT Capture::toCapture(HWND hwnd, const RECT& r) const {
  POINT o{0, 0};
  ClientToScreen(hwnd, &o);
  const LONG dx = o.x - origin_.x;
  const LONG dy = o.y - origin_.y;
  return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool Capture::saveBmp(const std::string& path) const {
  if (empty()) return false;
  const int rowBytes = (width_ * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof ih;
  ih.biWidth = width_;
  ih.biHeight = height_;  // bottom-up
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = static_cast<DWORD>(rowBytes * height_);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&ih), sizeof ih);
  std::vector<char> row(rowBytes, 0);
  for (int y = height_ - 1; y >= 0; --y) {
    for (int x = 0; x < width_; ++x) {
      const Pixel p = at(x, y);
      row[x * 3] = static_cast<char>(p.b);
      row[x * 3 + 1] = static_cast<char>(p.g);
      row[x * 3 + 2] = static_cast<char>(p.r);
    }
    out.write(row.data(), rowBytes);
  }
  return static_cast<bool>(out);
}

Capture captureScreenRect(const RECT& screen) {
  Capture c;
  const int w = screen.right - screen.left;
  const int h = screen.bottom - screen.top;
  if (w <= 0 || h <= 0) return c;
  HDC screenDc = GetDC(nullptr);
  HDC memDc = CreateCompatibleDC(screenDc);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screenDc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(memDc, dib);
    if (BitBlt(memDc, 0, 0, w, h, screenDc, screen.left, screen.top, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      c.width_ = w;
      c.height_ = h;
      c.origin_ = POINT{screen.left, screen.top};
      const auto* p = static_cast<const std::uint32_t*>(bits);
      c.pixels_.assign(p, p + static_cast<std::size_t>(w) * h);
      for (auto& v : c.pixels_) v &= 0x00FFFFFFu;
    }
    SelectObject(memDc, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memDc);
  ReleaseDC(nullptr, screenDc);
  return c;
}

int countPixels(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred) {
  return inkLayout(c, r, pred).count;
}

InkLayout inkLayout(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred) {
  InkLayout ink;
  for (LONG y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, c.height()); ++y) {
    int run = 0;
    for (LONG x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, c.width()); ++x) {
      if (!pred(c.at(x, y))) {
        run = 0;
        continue;
      }
      ++ink.count;
      ink.bounds.left = std::min(ink.bounds.left, x);
      ink.bounds.top = std::min(ink.bounds.top, y);
      ink.bounds.right = std::max(ink.bounds.right, x + 1);
      ink.bounds.bottom = std::max(ink.bounds.bottom, y + 1);
      if (++run > ink.longestRun) {
        ink.longestRun = run;
        ink.longestRunRow = y;
      }
    }
  }
  return ink;
}

}  // namespace kestrana_test
