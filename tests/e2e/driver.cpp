#include "driver.h"

#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef KESTRANA_EXE
#error "KESTRANA_EXE must name the program under test"
#endif

namespace e2e {

namespace {

// Time limit for every message sent across to the program.
constexpr UINT kSendTimeoutMs = 2000;

#define E2E_FAIL_AT(where) ADD_FAILURE_AT((where).file_name(), static_cast<int>((where).line()))

std::string hex(DWORD v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(v));
  return buf;
}

std::string rootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_USERS) return "HKU";
  return "HKEY(" + hex(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(root))) + ")";
}

std::string regPath(HKEY root, const std::string& key, const std::string& name) {
  return rootName(root) + "\\" + key + " [" + (name.empty() ? "(default)" : name) + "]";
}

struct EnumState {
  DWORD pid;
  bool visibleOnly;
  std::vector<HWND>* out;
};

BOOL CALLBACK collectTop(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<EnumState*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == s->pid && (!s->visibleOnly || IsWindowVisible(hwnd))) s->out->push_back(hwnd);
  return TRUE;
}

}  // namespace

// ---------------------------------------------------------------- paths

std::string windowsPathOf(const std::string& unixPath) {
  std::string out = "Z:";
  for (char c : unixPath) out += (c == '/') ? '\\' : c;
  return out;
}

std::string programPath() {
  static const std::string path = [] {
    const std::string p = KESTRANA_EXE;
    return p.empty() || p[0] != '/' ? p : windowsPathOf(p);
  }();
  return path;
}

std::string driverPath() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string tempFileName(const std::string& prefix) {
  char dir[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, dir);
  static unsigned counter = 0;
  for (;;) {
    std::string name = std::string(dir) + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(GetTickCount()) + "-" + std::to_string(++counter) + ".txt";
    if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
  }
}

// ---------------------------------------------------------------- waiting

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(stepMs);
  }
}

void settle(HWND window, DWORD ms) {
  Sleep(ms);
  if (window && IsWindow(window)) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  }
}

// ---------------------------------------------------------------- windows

std::vector<HWND> visibleTopWindows(DWORD pid) {
  std::vector<HWND> out;
  EnumState s{pid, true, &out};
  EnumWindows(collectTop, reinterpret_cast<LPARAM>(&s));
  return out;
}

std::vector<HWND> allTopWindows(DWORD pid) {
  std::vector<HWND> out;
  EnumState s{pid, false, &out};
  EnumWindows(collectTop, reinterpret_cast<LPARAM>(&s));
  return out;
}

HWND findTopWindow(DWORD pid, const char* caption, const char* cls) {
  for (HWND hwnd : visibleTopWindows(pid)) {
    if (cls && lstrcmpiA(className(hwnd).c_str(), cls) != 0) continue;
    if (caption && windowText(hwnd) != caption) continue;
    return hwnd;
  }
  return nullptr;
}

std::vector<HWND> childrenOf(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    out.push_back(c);
    if (out.size() > 1000) break;  // a broken list must not hang the driver
  }
  return out;
}

HWND childByText(HWND parent, const std::string& text) {
  for (HWND c : childrenOf(parent)) {
    if (windowText(c) == text) return c;
  }
  return nullptr;
}

std::string windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
    return std::string();
  }
  std::vector<char> buf(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return std::string();
  }
  return std::string(buf.data(), std::min<std::size_t>(copied, buf.size()));
}

std::string className(HWND hwnd) {
  char buf[256] = {};
  const int n = GetClassNameA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}

DWORD styleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)); }
DWORD exStyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)); }

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

RECT clientRectOf(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

POINT clientOriginOnScreen(HWND hwnd) {
  POINT p{0, 0};
  ClientToScreen(hwnd, &p);
  return p;
}

int checkState(HWND button) {
  DWORD_PTR state = 0;
  if (!SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state)) return -1;
  return static_cast<int>(state);
}

bool isEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
bool isVisible(HWND hwnd) { return IsWindowVisible(hwnd) != FALSE; }
HWND ownerOf(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }

DWORD processOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

DWORD threadOf(HWND hwnd) { return GetWindowThreadProcessId(hwnd, nullptr); }

HWND focusedWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadOf(window), &info)) return nullptr;
  return info.hwndFocus;
}

HWND activeWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadOf(window), &info)) return nullptr;
  return info.hwndActive;
}

HICON iconOf(HWND hwnd, bool big) {
  DWORD_PTR icon = 0;
  SendMessageTimeoutA(hwnd, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &icon);
  if (icon) return reinterpret_cast<HICON>(icon);
  return classIconOf(hwnd, big);
}

HICON classIconOf(HWND hwnd, bool big) {
  return reinterpret_cast<HICON>(GetClassLongPtrA(hwnd, big ? GCLP_HICON : GCLP_HICONSM));
}

std::string utf8(const std::string& text) {
  // Messages mix the cases' GBK texts with text already converted, so each
  // three-byte UTF-8 sequence is kept and everything else read as GBK:
  // converting twice changes nothing.
  auto cont = [](unsigned char b) { return b >= 0x80 && b <= 0xBF; };
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += text[i++];
      continue;
    }
    if (b >= 0xE0 && b <= 0xEF && i + 2 < text.size() && cont(text[i + 1]) && cont(text[i + 2])) {
      out.append(text, i, 3);
      i += 3;
      continue;
    }
    const int n = (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    wchar_t w[2] = {};
    const int wide = MultiByteToWideChar(936, 0, text.data() + i, n, w, 2);
    char buf[8];
    const int m = wide > 0 ? WideCharToMultiByte(CP_UTF8, 0, w, wide, buf, sizeof buf, nullptr, nullptr) : 0;
    if (m > 0) out.append(buf, m);
    else out += '?';
    i += n;
  }
  return out;
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

// ---------------------------------------------------------------- message boxes

bool MessageBoxInfo::hasButton(int id) const {
  for (const auto& b : buttons) {
    if (b.id == id) return true;
  }
  return false;
}

HWND findMessageBox(DWORD pid) { return findTopWindow(pid, nullptr, kDialogClass); }

MessageBoxInfo readMessageBox(HWND box) {
  MessageBoxInfo info;
  info.hwnd = box;
  if (!box) return info;
  info.caption = windowText(box);
  if (HWND text = GetDlgItem(box, 0xFFFF)) info.text = windowText(text);
  for (HWND c : childrenOf(box)) {
    if (lstrcmpiA(className(c).c_str(), kButtonClass) == 0 && IsWindowVisible(c)) {
      info.buttons.push_back({GetDlgCtrlID(c), windowText(c)});
    }
  }
  return info;
}

bool pressBoxButton(HWND box, int id, Where where) {
  HWND button = box ? GetDlgItem(box, id) : nullptr;
  if (!button || !IsWindowVisible(button)) {
    E2E_FAIL_AT(where) << "message box " << describe(box) << " has no visible button with id " << id;
    return false;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  return true;
}

// ---------------------------------------------------------------- input

void pressButton(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
void postClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

bool bringToForeground(HWND target, Where where) {
  HWND root = GetAncestor(target, GA_ROOT);
  if (!root) root = target;
  if (GetForegroundWindow() == root) return true;
  const bool ok = waitFor(
      [&] {
        SetForegroundWindow(root);
        return GetForegroundWindow() == root;
      },
      2000, 50);
  if (!ok) {
    E2E_FAIL_AT(where) << "expected foreground " << describe(root) << " got "
                       << describe(GetForegroundWindow());
  }
  return ok;
}

namespace {

bool isExtendedKey(WORD vk) {
  switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_INSERT: case VK_DELETE:
      return true;
  }
  return false;
}

INPUT keyInput(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (isExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
  return in;
}

void sendInputs(std::vector<INPUT>& inputs, Where where) {
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    E2E_FAIL_AT(where) << "SendInput: expected " << inputs.size() << " events sent got " << sent
                       << " (error " << GetLastError() << ")";
  }
}

void addModifiers(std::vector<INPUT>& inputs, unsigned modifiers, bool up) {
  const WORD keys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  const unsigned bits[] = {kShift, kCtrl, kAlt};
  for (int i = 0; i < 3; ++i) {
    const int k = up ? 2 - i : i;
    if (modifiers & bits[k]) inputs.push_back(keyInput(keys[k], up));
  }
}

}  // namespace

void pressKey(HWND target, WORD vk, unsigned modifiers, Where where) {
  if (!bringToForeground(target, where)) return;
  std::vector<INPUT> inputs;
  addModifiers(inputs, modifiers, false);
  inputs.push_back(keyInput(vk, false));
  inputs.push_back(keyInput(vk, true));
  addModifiers(inputs, modifiers, true);
  sendInputs(inputs, where);
}

void typeText(HWND target, const std::string& text, Where where) {
  if (!bringToForeground(target, where)) return;
  for (char ch : text) {
    const SHORT scan = VkKeyScanA(ch);
    if (scan == -1) {
      E2E_FAIL_AT(where) << "no key types the character " << static_cast<int>(static_cast<unsigned char>(ch));
      continue;
    }
    unsigned mods = kNoMod;
    if (HIBYTE(scan) & 1) mods |= kShift;
    if (HIBYTE(scan) & 2) mods |= kCtrl;
    if (HIBYTE(scan) & 4) mods |= kAlt;
    std::vector<INPUT> inputs;
    addModifiers(inputs, mods, false);
    inputs.push_back(keyInput(LOBYTE(scan), false));
    inputs.push_back(keyInput(LOBYTE(scan), true));
    addModifiers(inputs, mods, true);
    sendInputs(inputs, where);
  }
}

void clickAt(HWND control, POINT clientPoint, Where where) {
  if (!bringToForeground(control, where)) return;
  POINT p = clientPoint;
  ClientToScreen(control, &p);
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  std::vector<INPUT> inputs(3);
  for (auto& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((p.x * 65535LL + (cx - 1) / 2) / (cx - 1));
    in.mi.dy = static_cast<LONG>((p.y * 65535LL + (cy - 1) / 2) / (cy - 1));
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  sendInputs(inputs, where);
}

void clickCenter(HWND control, Where where) {
  const RECT r = clientRectOf(control);
  clickAt(control, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, where);
}

void postClickAt(HWND control, POINT p) {
  const LPARAM pos = MAKELPARAM(p.x, p.y);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, pos);
  PostMessageA(control, WM_LBUTTONUP, 0, pos);
}

// ---------------------------------------------------------------- program

Program::~Program() {
  terminate();
  if (thread_) CloseHandle(thread_);
  if (process_) CloseHandle(process_);
}

Program::Program(Program&& other) noexcept { *this = std::move(other); }

Program& Program::operator=(Program&& other) noexcept {
  if (this != &other) {
    terminate();
    if (thread_) CloseHandle(thread_);
    if (process_) CloseHandle(process_);
    process_ = other.process_;
    thread_ = other.thread_;
    pid_ = other.pid_;
    exitCode_ = other.exitCode_;
    other.process_ = other.thread_ = nullptr;
    other.pid_ = 0;
    other.exitCode_.reset();
  }
  return *this;
}

bool Program::start(const std::string& arguments, Where where) {
  std::string commandLine(1, '"');
  commandLine += programPath();
  commandLine += '"';
  if (!arguments.empty()) commandLine += " " + arguments;
  return startCommand(programPath(), commandLine, where);
}

bool Program::startCommand(const std::string& exe, const std::string& commandLine, Where where) {
  if (process_) {
    E2E_FAIL_AT(where) << "this Program object was already started";
    return false;
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    E2E_FAIL_AT(where) << "CreateProcess(" << exe << ", " << commandLine << ") failed, error "
                       << GetLastError();
    return false;
  }
  process_ = pi.hProcess;
  thread_ = pi.hThread;
  pid_ = pi.dwProcessId;
  return true;
}

bool Program::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Program::waitExit(DWORD timeoutMs) {
  if (exitCode_) return exitCode_;
  if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
  exitCode_ = code;
  return exitCode_;
}

void Program::expectExit(DWORD expectedCode, DWORD timeoutMs, Where where) {
  const auto code = waitExit(timeoutMs);
  if (!code) {
    E2E_FAIL_AT(where) << "expected the program to end with code " << expectedCode << " within "
                       << timeoutMs << " ms; it is still running";
    return;
  }
  if (*code != expectedCode) {
    E2E_FAIL_AT(where) << "expected exit code " << expectedCode << " (" << hex(expectedCode) << ") got "
                       << static_cast<long>(*code) << " (" << hex(*code) << ")";
  }
}

void Program::expectStillRunning(DWORD ms, Where where) {
  if (const auto code = waitExit(ms)) {
    E2E_FAIL_AT(where) << "expected the program to keep running; it ended with code "
                       << static_cast<long>(*code);
  }
}

void Program::terminate() {
  if (running()) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 5000);
  }
}

HWND Program::waitWindow(const char* caption, const char* cls, DWORD timeoutMs, Where where) {
  HWND found = nullptr;
  waitFor([&] { return (found = findTopWindow(pid_, caption, cls)) != nullptr || !running(); }, timeoutMs);
  if (!found) found = findTopWindow(pid_, caption, cls);
  if (!found) {
    std::ostringstream seen;
    for (HWND w : visibleTopWindows(pid_)) seen << "\n  " << describe(w);
    E2E_FAIL_AT(where) << "expected a visible window caption \"" << (caption ? caption : "*") << "\" class "
                       << (cls ? cls : "*") << " within " << timeoutMs << " ms; "
                       << (running() ? "program running" : "program ended") << ", windows seen:"
                       << (seen.str().empty() ? " none" : seen.str());
  }
  return found;
}

HWND Program::waitMainWindow(DWORD timeoutMs, Where where) {
  return waitWindow(kMainCaption, nullptr, timeoutMs, where);
}

HWND Program::waitMessageBox(DWORD timeoutMs, Where where) {
  return waitWindow(nullptr, kDialogClass, timeoutMs, where);
}

bool Program::waitWindowGone(const char* caption, DWORD timeoutMs, Where where) {
  const bool gone = waitFor([&] { return findTopWindow(pid_, caption, nullptr) == nullptr; }, timeoutMs);
  if (!gone) {
    E2E_FAIL_AT(where) << "expected no visible window \"" << (caption ? caption : "*") << "\" after "
                       << timeoutMs << " ms; still there";
  }
  return gone;
}

std::vector<std::string> loadedModules(DWORD pid) {
  std::vector<std::string> out;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return out;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    out.push_back(entry.szExePath);
  }
  CloseHandle(snapshot);
  return out;
}

std::optional<int> gdiObjectCount(HANDLE process) {
  // The layouts of the driver's own architecture, which is the program's:
  // PROCESS_BASIC_INFORMATION's second field is the PEB's address, and the
  // PEB holds the table's at 0x94 (32-bit) or 0xF8 (64-bit). An entry is 24
  // bytes in both; its byte 14 is the object's type, 0 for a free slot.
  using QueryFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  constexpr std::size_t kPebTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94, kEntrySize = 24, kTypeOffset = 14;
  constexpr std::size_t kEntriesPerRead = 4096, kMaxEntries = 0x10000;
  ULONG_PTR basic[6] = {};
  if (!query || query(process, 0, basic, sizeof basic, nullptr) != 0 || !basic[1]) return std::nullopt;
  ULONG_PTR table = 0;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const char*>(basic[1]) + kPebTableOffset, &table, sizeof table,
                         &read) ||
      !table) {
    return std::nullopt;
  }
  std::vector<unsigned char> chunk(kEntriesPerRead * kEntrySize);
  int count = 0;
  // The table ends where the readable memory does.
  for (std::size_t first = 0; first < kMaxEntries; first += kEntriesPerRead) {
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table + first * kEntrySize), chunk.data(),
                           chunk.size(), &read) ||
        read != chunk.size()) {
      if (first == 0) return std::nullopt;
      break;
    }
    for (std::size_t i = 0; i < kEntriesPerRead; ++i) count += chunk[i * kEntrySize + kTypeOffset] != 0;
  }
  return count;
}

namespace {
BOOL CALLBACK countWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}
}  // namespace

int windowCount(DWORD pid) {
  int count = 0;
  for (HWND top : allTopWindows(pid)) {
    ++count;
    EnumChildWindows(top, countWindow, reinterpret_cast<LPARAM>(&count));
  }
  return count;
}

// ---------------------------------------------------------------- main window

bool MainWindowControls::complete() const {
  return window && heading && notice && about && exit && apply && disabled && automatic && manual;
}

MainWindowControls mainWindowControls(HWND window) {
  MainWindowControls c;
  c.window = window;
  if (!window) return c;
  for (HWND child : childrenOf(window)) {
    const std::string cls = className(child);
    const std::string text = windowText(child);
    if (cls == kLabelClass) {
      if (text == "请选择USB接口运行状态") c.heading = child;
      else if (text.rfind("注意：", 0) == 0) c.notice = child;
    } else if (lstrcmpiA(cls.c_str(), kButtonClass) == 0) {
      if (text == "关于(&A)") c.about = child;
      else if (text == "退出(&X)") c.exit = child;
      else if (text == "应用设置(&S)") c.apply = child;
      else if (text == "禁用") c.disabled = child;
      else if (text == "自动启用") c.automatic = child;
      else if (text == "手动启用") c.manual = child;
    }
  }
  return c;
}

MainWindowControls waitMainWindowControls(Program& program, DWORD timeoutMs, Where where) {
  HWND window = program.waitMainWindow(timeoutMs, where);
  MainWindowControls c = mainWindowControls(window);
  if (window && !c.complete()) {
    std::ostringstream seen;
    for (HWND child : childrenOf(window)) seen << "\n  " << describe(child);
    E2E_FAIL_AT(where) << "main window lacks a control; children seen:" << seen.str();
  }
  return c;
}

std::string describeChoices(const MainWindowControls& c) {
  std::ostringstream s;
  s << "自动=" << (c.automatic ? checkState(c.automatic) : -9) << " 手动="
    << (c.manual ? checkState(c.manual) : -9) << " 禁用=" << (c.disabled ? checkState(c.disabled) : -9);
  return s.str();
}

// ---------------------------------------------------------------- registry

std::optional<DWORD> RegValue::dword() const {
  if (!exists || type != REG_DWORD || bytes.size() != 4) return std::nullopt;
  DWORD v;
  std::memcpy(&v, bytes.data(), 4);
  return v;
}

RegValue regRead(HKEY root, const std::string& key, const std::string& name) {
  RegValue v;
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return v;
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    v.bytes.resize(size);
    rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, size ? v.bytes.data() : nullptr, &size);
    if (rc == ERROR_SUCCESS) {
      v.bytes.resize(size);
      v.exists = true;
      v.type = type;
    } else {
      v.bytes.clear();
    }
  }
  RegCloseKey(h);
  return v;
}

bool regKeyExists(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool regSetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type,
               const std::vector<unsigned char>& bytes, Where where) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) {
    E2E_FAIL_AT(where) << "creating " << rootName(root) << "\\" << key << ": expected 0 got " << rc;
    return false;
  }
  rc = RegSetValueExA(h, name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                      static_cast<DWORD>(bytes.size()));
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) {
    E2E_FAIL_AT(where) << "setting " << regPath(root, key, name) << ": expected 0 got " << rc;
    return false;
  }
  return true;
}

bool regSetDword(HKEY root, const std::string& key, const std::string& name, DWORD value, Where where) {
  std::vector<unsigned char> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return regSetRaw(root, key, name, REG_DWORD, bytes, where);
}

bool regSetQword(HKEY root, const std::string& key, const std::string& name, std::uint64_t value,
                 Where where) {
  std::vector<unsigned char> bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return regSetRaw(root, key, name, REG_QWORD, bytes, where);
}

bool regSetString(HKEY root, const std::string& key, const std::string& name, const std::string& value,
                  Where where) {
  std::vector<unsigned char> bytes(value.begin(), value.end());
  bytes.push_back(0);
  return regSetRaw(root, key, name, REG_SZ, bytes, where);
}

bool regDeleteValue(HKEY root, const std::string& key, const std::string& name, Where where) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &h);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) {
    E2E_FAIL_AT(where) << "opening " << rootName(root) << "\\" << key << " to delete a value: expected 0 got "
                       << rc;
    return false;
  }
  rc = RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    E2E_FAIL_AT(where) << "deleting " << regPath(root, key, name) << ": expected 0 got " << rc;
    return false;
  }
  return true;
}

bool regDeleteTree(HKEY root, const std::string& key, Where where) {
  const LONG rc = RegDeleteTreeA(root, key.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    E2E_FAIL_AT(where) << "deleting key " << rootName(root) << "\\" << key << ": expected 0 got " << rc;
    return false;
  }
  return true;
}

bool regSetKeySddl(HKEY root, const std::string& key, const std::string& sddl, Where where) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
    E2E_FAIL_AT(where) << "SDDL \"" << sddl << "\" not understood, error " << GetLastError();
    return false;
  }
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC | READ_CONTROL, &h);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(h);
  }
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) {
    E2E_FAIL_AT(where) << "setting the DACL " << sddl << " on " << rootName(root) << "\\" << key
                       << ": expected 0 got " << rc;
    return false;
  }
  return true;
}

std::string describe(const RegValue& v) {
  if (!v.exists) return "(no value)";
  std::ostringstream s;
  s << "type " << v.type << " bytes[" << v.bytes.size() << "]";
  char buf[4];
  for (std::size_t i = 0; i < v.bytes.size() && i < 64; ++i) {
    std::snprintf(buf, sizeof buf, " %02x", v.bytes[i]);
    s << buf;
  }
  if (auto d = v.dword()) s << " = " << *d;
  return s.str();
}

void expectRegDword(HKEY root, const std::string& key, const std::string& name, DWORD expected,
                    Where where) {
  const RegValue v = regRead(root, key, name);
  const auto d = v.dword();
  if (!d || *d != expected) {
    E2E_FAIL_AT(where) << regPath(root, key, name) << ": expected REG_DWORD " << expected << " got "
                       << describe(v);
  }
}

void expectRegRaw(HKEY root, const std::string& key, const std::string& name, DWORD type,
                  const std::vector<unsigned char>& bytes, Where where) {
  const RegValue v = regRead(root, key, name);
  if (!v.exists || v.type != type || v.bytes != bytes) {
    RegValue want;
    want.exists = true;
    want.type = type;
    want.bytes = bytes;
    E2E_FAIL_AT(where) << regPath(root, key, name) << ": expected " << describe(want) << " got "
                       << describe(v);
  }
}

void expectRegMissing(HKEY root, const std::string& key, const std::string& name, Where where) {
  const RegValue v = regRead(root, key, name);
  if (v.exists) {
    E2E_FAIL_AT(where) << regPath(root, key, name) << ": expected no value got " << describe(v);
  }
}

SavedRegValue::SavedRegValue(HKEY root, std::string key, std::string name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
  original_ = regRead(root_, key_, name_);
  keyExisted_ = regKeyExists(root_, key_);
}

SavedRegValue::~SavedRegValue() {
  if (original_.exists) {
    regSetRaw(root_, key_, name_, original_.type, original_.bytes);
  } else if (!keyExisted_) {
    regDeleteTree(root_, key_);
  } else {
    regDeleteValue(root_, key_, name_);
  }
}

ReadOnlyKey::ReadOnlyKey(HKEY root, std::string key, Where where) : root_(root), key_(std::move(key)) {
  HKEY h = nullptr;
  const LONG rc = RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) {
    E2E_FAIL_AT(where) << "creating " << rootName(root_) << "\\" << key_ << ": expected 0 got " << rc;
    return;
  }
  RegCloseKey(h);
  active_ = regSetKeySddl(root_, key_, kReadOnlyDacl, where);
}

ReadOnlyKey::~ReadOnlyKey() {
  if (active_) regSetKeySddl(root_, key_, kFullAccessDacl);
}

bool setStartValue(DWORD value, Where where) {
  return regSetDword(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, value, where);
}

RegValue readStartValue() { return regRead(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName); }

bool setWineVersion(const std::string& version, Where where) {
  return regSetString(HKEY_CURRENT_USER, kAppDefaultsKey, "Version", version, where);
}

bool clearWineVersion(Where where) { return regDeleteTree(HKEY_CURRENT_USER, kAppDefaultsKey, where); }

// ---------------------------------------------------------------- https recorder

std::unique_ptr<SavedRegValue> installHttpsRecorder(const std::string& recordFile, Where where) {
  static const char kKey[] = "Software\\Classes\\https\\shell\\open\\command";
  auto saved = std::make_unique<SavedRegValue>(HKEY_LOCAL_MACHINE, kKey, "");
  std::string command(1, '"');
  command += driverPath();
  command += "\" --record \"";
  command += recordFile;
  command += "\" \"%1\"";
  regSetString(HKEY_LOCAL_MACHINE, kKey, "", command, where);
  return saved;
}

std::vector<std::string> splitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        std::size_t slashes = 0;
        while (i < n && line[i] == '\\') ++slashes, ++i;
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    out.push_back(arg);
  }
  return out;
}

std::vector<Record> readRecords(const std::string& recordFile) {
  std::vector<Record> out;
  std::ifstream in(recordFile, std::ios::binary);
  if (!in) return out;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  for (std::size_t nl; (nl = content.find('\n', start)) != std::string::npos; start = nl + 1) {
    Record r;
    r.commandLine = content.substr(start, nl - start);
    auto args = splitCommandLine(r.commandLine);
    // program, --record, FILE, then what the caller passed
    if (args.size() > 3) r.arguments.assign(args.begin() + 3, args.end());
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<Record> waitRecords(const std::string& recordFile, std::size_t count, DWORD timeoutMs,
                                Where where) {
  std::vector<Record> records;
  waitFor([&] { return (records = readRecords(recordFile)).size() >= count; }, timeoutMs, 50);
  if (records.size() < count) {
    E2E_FAIL_AT(where) << "expected at least " << count << " recorded calls in " << recordFile << " within "
                       << timeoutMs << " ms got " << records.size();
  }
  return records;
}

// ---------------------------------------------------------------- pixels

Pixel pixelOf(COLORREF c) {
  return Pixel{GetRValue(c), GetGValue(c), GetBValue(c)};
}

std::string describe(Pixel p) {
  std::ostringstream s;
  s << "rgb(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << ")";
  return s.str();
}

Pixel Capture::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Pixel{};
  const std::uint32_t v = pixels_[static_cast<std::size_t>(y) * width_ + x];
  return Pixel{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
               static_cast<std::uint8_t>(v)};
}

Pixel Capture::atClient(HWND hwnd, int x, int y) const {
  const POINT o = clientOriginOnScreen(hwnd);
  return at(o.x + x - origin_.x, o.y + y - origin_.y);
}

RECT Capture::toCapture(HWND hwnd, const RECT& r) const {
  const POINT o = clientOriginOnScreen(hwnd);
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

bool Capture::savePpm(const std::string& path) const {
  if (empty()) return false;
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out << "P6\n" << width_ << " " << height_ << "\n255\n";
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const Pixel p = at(x, y);
      out.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
    }
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

HICON loadProgramIcon(int size) {
  static HMODULE module = LoadLibraryExA(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return nullptr;
  return static_cast<HICON>(LoadImageA(module, "DEFAULT_ICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

namespace {

// 32-bit top-down pixels (0xAARRGGBB) of a bitmap.
std::vector<std::uint32_t> bitmapPixels(HBITMAP bitmap, int w, int h) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * h);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, bitmap, 0, h, out.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (rows != h) out.clear();
  return out;
}

}  // namespace

double bestIconMatch(const Capture& shot, HICON icon, const RECT& area, POINT* at) {
  if (!icon || shot.empty()) return 0;
  ICONINFO ii{};
  if (!GetIconInfo(icon, &ii)) return 0;
  BITMAP bm{};
  GetObjectA(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof bm, &bm);
  const int w = bm.bmWidth;
  const int h = ii.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
  std::vector<std::uint32_t> color = ii.hbmColor ? bitmapPixels(ii.hbmColor, w, h) : std::vector<std::uint32_t>();
  std::vector<std::uint32_t> mask = bitmapPixels(ii.hbmMask, w, ii.hbmColor ? h : 2 * h);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  if (color.empty() || mask.empty()) return 0;
  bool hasAlpha = false;
  for (auto v : color) hasAlpha |= (v >> 24) != 0;
  // Only fully opaque pixels look the same on any background.
  std::vector<std::pair<POINT, Pixel>> opaque;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = color[static_cast<std::size_t>(y) * w + x];
      const bool solid = hasAlpha ? (v >> 24) == 0xFF : (mask[static_cast<std::size_t>(y) * w + x] & 0xFFFFFF) == 0;
      if (solid) {
        opaque.push_back({POINT{x, y}, Pixel{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                             static_cast<std::uint8_t>(v)}});
      }
    }
  }
  if (opaque.empty()) return 0;
  double best = 0;
  for (int oy = area.top; oy + h <= area.bottom; ++oy) {
    for (int ox = area.left; ox + w <= area.right; ++ox) {
      std::size_t matched = 0;
      for (const auto& [p, want] : opaque) {
        const Pixel got = shot.at(ox + p.x, oy + p.y);
        if (std::abs(got.r - want.r) <= 24 && std::abs(got.g - want.g) <= 24 && std::abs(got.b - want.b) <= 24) {
          ++matched;
        }
      }
      const double share = static_cast<double>(matched) / opaque.size();
      if (share > best) {
        best = share;
        if (at) *at = POINT{ox, oy};
      }
    }
  }
  return best;
}

Capture captureWindow(HWND window, Where where) {
  bringToForeground(window, where);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  settle(window, 400);
  Capture c = captureScreenRect(outerRect(window));
  if (c.empty()) E2E_FAIL_AT(where) << "no picture of " << describe(window) << " " << describe(outerRect(window));
  return c;
}

// ---------------------------------------------------------------- fixture

void ProgramTest::SetUp() {
  savedStart_ = std::make_unique<SavedRegValue>(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName);
  clearWineVersion();
}

void ProgramTest::TearDown() {
  for (auto& p : programs_) p->terminate();
  programs_.clear();
  savedStart_.reset();
  clearWineVersion();
}

Program& ProgramTest::launch(const std::string& arguments, Where where) {
  programs_.push_back(std::make_unique<Program>());
  programs_.back()->start(arguments, where);
  return *programs_.back();
}

MainWindowControls ProgramTest::launchMain(const std::string& arguments, Where where) {
  Program& p = launch(arguments, where);
  return waitMainWindowControls(p, 5000, where);
}

Program& ProgramTest::lastProgram() {
  if (programs_.empty()) programs_.push_back(std::make_unique<Program>());
  return *programs_.back();
}

}  // namespace e2e
