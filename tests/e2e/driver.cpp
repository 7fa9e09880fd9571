#include "driver.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef KESTRANA_EXE
#error "KESTRANA_EXE must name the program under test"
#endif

namespace e2e {

// ---------------------------------------------------------------- paths

std::string programPath() {
  static const std::string path = [] {
    const std::string p = KESTRANA_EXE;
    return p.empty() || p[0] != '/' ? p : windowsPathOf(p);
  }();
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

// ---------------------------------------------------------------- windows

void settle(HWND window, DWORD ms) {
  Sleep(ms);
  if (window && IsWindow(window)) sendWithin(window, WM_NULL);
}

DWORD styleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)); }
DWORD exStyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)); }

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

int checkState(HWND button) { return static_cast<int>(sendWithin(button, BM_GETCHECK).value_or(-1)); }

bool isEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
bool isVisible(HWND hwnd) { return IsWindowVisible(hwnd) != FALSE; }
HWND ownerOf(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }

HWND focusedWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// ---------------------------------------------------------------- input

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
  if (!ok)
    KESTRANA_FAIL_AT(where) << "expected foreground " << describe(root) << " got " << describe(GetForegroundWindow());
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
    KESTRANA_FAIL_AT(where) << "SendInput: expected " << inputs.size() << " events sent got " << sent << " (error "
                            << GetLastError() << ")";
  }
}

// One key press and release with the modifiers held around it.
void sendKey(WORD vk, unsigned modifiers, Where where) {
  const WORD keys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  const unsigned bits[] = {kShift, kCtrl, kAlt};
  std::vector<INPUT> inputs;
  for (int i = 0; i < 3; ++i) {
    if (modifiers & bits[i]) inputs.push_back(keyInput(keys[i], false));
  }
  inputs.push_back(keyInput(vk, false));
  inputs.push_back(keyInput(vk, true));
  for (int i = 2; i >= 0; --i) {
    if (modifiers & bits[i]) inputs.push_back(keyInput(keys[i], true));
  }
  sendInputs(inputs, where);
}

}  // namespace

void pressKey(HWND target, WORD vk, unsigned modifiers, Where where) {
  if (bringToForeground(target, where)) sendKey(vk, modifiers, where);
}

void typeText(HWND target, const std::string& text, Where where) {
  if (!bringToForeground(target, where)) return;
  for (char ch : text) {
    const SHORT scan = VkKeyScanA(ch);
    if (scan == -1) {
      KESTRANA_FAIL_AT(where) << "no key types the character " << static_cast<int>(static_cast<unsigned char>(ch));
      continue;
    }
    // VkKeyScan's high byte holds Shift, Ctrl and Alt in the modifiers' order.
    sendKey(LOBYTE(scan), HIBYTE(scan) & (kShift | kCtrl | kAlt), where);
  }
}

void clickCenter(HWND control, Where where) {
  if (!bringToForeground(control, where)) return;
  const RECT r = clientRectOf(control);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
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

void parkPointer() {
  SetCursorPos(2, 2);
  // A move of zero through SendInput, so that the window below gets the
  // mouse messages as it would from a real mouse.
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &in, sizeof in);
}

// ---------------------------------------------------------------- program

bool Program::start(const std::string& arguments, Where where) {
  return startCommand(programPath(), inQuotes(programPath()) + (arguments.empty() ? "" : " " + arguments), where);
}

bool Program::startCommand(const std::string& exe, const std::string& commandLine, Where where) {
  if (Process::start(exe, commandLine)) return true;
  KESTRANA_FAIL_AT(where) << "CreateProcess(" << exe << ", " << commandLine << ") failed, error " << error();
  return false;
}

void Program::expectExit(DWORD expectedCode, DWORD timeoutMs, Where where) {
  const auto code = waitExit(timeoutMs);
  if (!code) {
    KESTRANA_FAIL_AT(where) << "expected the program to end with code " << expectedCode << " within " << timeoutMs
                            << " ms; it is still running";
  } else if (*code != expectedCode) {
    KESTRANA_FAIL_AT(where) << "expected exit code " << expectedCode << " (" << hex(expectedCode) << ") got "
                            << static_cast<long>(*code) << " (" << hex(*code) << ")";
  }
}

void Program::expectStillRunning(DWORD ms, Where where) {
  if (const auto code = waitExit(ms)) {
    KESTRANA_FAIL_AT(where) << "expected the program to keep running; it ended with code " << static_cast<long>(*code);
  }
}

HWND Program::waitWindow(const char* caption, const char* cls, DWORD timeoutMs, Where where) {
  HWND found = nullptr;
  waitFor([&] { return (found = findTopWindow(pid(), caption, cls)) != nullptr || !running(); }, timeoutMs);
  if (!found) found = findTopWindow(pid(), caption, cls);
  if (!found) {
    std::ostringstream seen;
    for (HWND w : windows()) seen << "\n  " << describe(w);
    KESTRANA_FAIL_AT(where) << "expected a visible window caption \"" << (caption ? caption : "*") << "\" class "
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
  return waitWindow(nullptr, "#32770", timeoutMs, where);
}

bool Program::waitWindowGone(const char* caption, DWORD timeoutMs, Where where) {
  const bool gone = waitFor([&] { return findTopWindow(pid(), caption) == nullptr; }, timeoutMs);
  if (!gone) {
    KESTRANA_FAIL_AT(where) << "expected no visible window \"" << (caption ? caption : "*") << "\" after " << timeoutMs
                            << " ms; still there";
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

namespace {
std::optional<GdiObjects> gdiObjectsRead64(DWORD pid);
}  // namespace

std::optional<GdiObjects> gdiObjects(HANDLE process) {
  // PROCESS_BASIC_INFORMATION's second field is the PEB's address. The PEB
  // holds the table's address at 0x94 in a 32-bit process and at 0xF8 in a
  // 64-bit one; the driver is built for the program's architecture, so its
  // own pointer width tells which. Under WOW64 the process's 32-bit PEB
  // names no table: only its 64-bit PEB does, which Wine gives a 64-bit
  // caller alone, so the 64-bit reader reads it. An entry is 24 bytes in
  // every layout; its byte 14 is the object's type, 0 for a free slot; its
  // 8 bytes at 16 point to the object's user-mode part, which for a DC
  // (type 1) holds at 4 the flag the window system sets when it takes the
  // DC back.
  if (underWow64()) return gdiObjectsRead64(GetProcessId(process));
  using QueryFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  constexpr std::size_t kPebTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
  constexpr std::size_t kEntrySize = 24, kTypeOffset = 14, kUserPointerOffset = 16;
  constexpr std::size_t kDcDisabledOffset = 4;
  constexpr std::size_t kEntriesPerRead = 4096, kMaxEntries = 0x10000;
  ULONG_PTR basic[6] = {};
  if (!query || query(process, 0, basic, sizeof basic, nullptr) != 0 || !basic[1]) return std::nullopt;
  std::uintptr_t table = 0;  // a pointer of the program's width
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const char*>(basic[1]) + kPebTableOffset, &table, sizeof table,
                         &read) ||
      !table) {
    return std::nullopt;
  }
  std::vector<unsigned char> chunk(kEntriesPerRead * kEntrySize);
  GdiObjects objects;
  // The table ends where the readable memory does.
  for (std::size_t first = 0; first < kMaxEntries; first += kEntriesPerRead) {
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table + first * kEntrySize), chunk.data(),
                           chunk.size(), &read) ||
        read != chunk.size()) {
      if (first == 0) return std::nullopt;
      break;
    }
    for (std::size_t i = 0; i < kEntriesPerRead; ++i) {
      const unsigned char* entry = &chunk[i * kEntrySize];
      if (const int type = entry[kTypeOffset]) {
        ++objects.total;
        ++objects.byType[type];
        std::uint64_t attributes = 0;
        LONG disabled = 0;
        SIZE_T got = 0;
        std::memcpy(&attributes, entry + kUserPointerOffset, sizeof attributes);
        if (type == kGdiDc && attributes &&
            ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(attributes) + kDcDisabledOffset), &disabled,
                              sizeof disabled, &got) &&
            disabled) {
          ++objects.idleDisplayDcs;
        }
      }
    }
  }
  return objects;
}

// ---------------------------------------------------------------- the 64-bit reader

int printGdiObjects(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  const auto objects = process ? gdiObjects(process) : std::nullopt;
  if (process) CloseHandle(process);
  if (!objects) {
    std::fprintf(stderr, "kestrana_e2e: the GDI handle table of process %lu cannot be read\n",
                 static_cast<unsigned long>(pid));
    return 1;
  }
  std::printf("%d %d", objects->total, objects->idleDisplayDcs);
  for (const auto& [type, count] : objects->byType) std::printf(" %d:%d", type, count);
  std::printf("\n");
  return 0;
}

int printLocalMachineValue(const std::string& key, const std::string& name) {
  const RegValue v = readValue(HKEY_LOCAL_MACHINE, key, name);
  std::string bytes;
  for (unsigned char b : v.bytes) bytes += hex(b, 2);
  std::printf("%ld %lu %s\n", static_cast<long>(v.status), static_cast<unsigned long>(v.type),
              bytes.empty() ? "-" : bytes.c_str());
  return 0;
}

namespace {

// What the 64-bit build's driver (KESTRANA_DRIVER64, which the scripts name
// for the WOW64 suite) prints when started in this prefix with these
// arguments; nullopt, with the reason in `why`, when it could not be asked
// or is not a 64-bit program.
std::optional<std::string> askDriver64(const std::string& arguments, std::string& why) {
  const std::string path = environmentValue("KESTRANA_DRIVER64");
  if (path.empty()) {
    why = "KESTRANA_DRIVER64 names no 64-bit driver to read it (scripts/wine-env.sh names it for the WOW64 suite)";
    return std::nullopt;
  }
  const std::string exe = windowsPathOf(path);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    why = "CreatePipe failed, error " + std::to_string(GetLastError());
    return std::nullopt;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd;
  std::string line = inQuotes(exe) + " " + arguments;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);
  std::optional<std::string> said;
  if (!started) {
    why = "cannot start " + line + ", error " + std::to_string(startError);
  } else {
    BOOL wow64 = TRUE;
    IsWow64Process(pi.hProcess, &wow64);
    if (WaitForSingleObject(pi.hProcess, limitMs(20000)) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 1);
      why = line + " did not end within " + std::to_string(limitMs(20000) / 1000) + " s";
    } else if (wow64) {
      why = exe + " runs under WOW64: it is no 64-bit reader";
    } else {
      std::string text;
      char chunk[512];
      for (DWORD got = 0; ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got;) text.append(chunk, got);
      DWORD code = 1;
      GetExitCodeProcess(pi.hProcess, &code);
      if (code == 0) {
        said = text;
      } else {
        why = line + " exited with " + std::to_string(code) + ": " + text;
      }
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  return said;
}

std::optional<GdiObjects> gdiObjectsRead64(DWORD pid) {
  std::string why;
  const auto said = askDriver64("--gdi-objects " + std::to_string(pid), why);
  GdiObjects objects;
  std::istringstream in(said.value_or(""));
  if (said && in >> objects.total >> objects.idleDisplayDcs) {
    for (int type = 0, count = 0; in >> type && in.ignore(1) && in >> count;) objects.byType[type] = count;
    return objects;
  }
  std::fprintf(stderr, "kestrana_e2e: under WOW64 the GDI handle table is read by a 64-bit program: %s\n",
               said ? ("it said " + *said).c_str() : why.c_str());
  return std::nullopt;
}

}  // namespace

std::optional<RegValue> readValueIn64BitView(const std::string& key, const std::string& name, std::string& why) {
  const auto said = askDriver64("--read-hklm " + inQuotes(key) + " " + inQuotes(name), why);
  if (!said) return std::nullopt;
  RegValue v;
  std::string bytes;
  std::istringstream in(*said);
  if (!(in >> v.status >> v.type >> bytes)) {
    why = "the 64-bit reader said " + *said;
    return std::nullopt;
  }
  for (std::size_t i = 0; bytes != "-" && i + 1 < bytes.size(); i += 2) {
    v.bytes.push_back(static_cast<unsigned char>(std::stoul(bytes.substr(i, 2), nullptr, 16)));
  }
  return v;
}

std::string describe(const std::map<int, int>& byType) {
  std::ostringstream s;
  const char* separator = "";
  for (const auto& [type, count] : byType) {
    s << separator << "type " << type << ": " << count;
    separator = ", ";
  }
  return s.str();
}

std::string describe(const std::optional<GdiObjects>& objects) {
  if (!objects) return "(table not read)";
  return std::to_string(objects->total) + " (" + describe(objects->byType) + "; " +
         std::to_string(objects->idleDisplayDcs) + " idle display DCs)";
}

namespace {
int countOf(const std::map<int, int>& byType, int type) {
  const auto it = byType.find(type);
  return it == byType.end() ? 0 : it->second;
}

// By type, what `after` holds more of than `before`.
std::map<int, int> grownTypes(const GdiObjects& before, const GdiObjects& after) {
  std::map<int, int> grown;
  for (const auto& [type, count] : after.byType) {
    if (const int more = count - countOf(before.byType, type); more > 0) grown[type] = more;
  }
  return grown;
}

HWND probeWindow(int x) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = DefWindowProcA;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "KestranaDriverDcProbe";
  RegisterClassA(&cls);
  HWND window = CreateWindowExA(WS_EX_NOACTIVATE, cls.lpszClassName, "", WS_POPUP | WS_VISIBLE, x,
                                GetSystemMetrics(SM_CYSCREEN) - 10, 10, 10, nullptr, nullptr, cls.hInstance, nullptr);
  UpdateWindow(window);
  return window;
}

void paint(HDC dc) {
  const RECT box{0, 0, 10, 10};
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}
}  // namespace

std::optional<std::map<int, int>> displayDcCost() {
  // Shown windows of the driver's own, in the screen's bottom-left corner,
  // away from the pointer and from where the program's windows open. The
  // first is drawn into through more display DCs held at once than the
  // window system keeps for this process, so that it makes new ones and
  // keeps them once they are given back (the window still there, as the
  // program's main window is).
  HWND kept = probeWindow(0);
  constexpr int kNew = 4;
  const auto before = gdiObjects(GetCurrentProcess());
  std::vector<HDC> dcs;
  for (int i = 0; before && i < before->idleDisplayDcs + kNew; ++i) {
    dcs.push_back(GetDC(kept));
    paint(dcs.back());
  }
  for (HDC dc : dcs) ReleaseDC(kept, dc);
  const auto after = gdiObjects(GetCurrentProcess());
  // The second is drawn into once and destroyed: Wine 10.0 keeps a window's
  // own surface (a bitmap and a region) for as long as a display DC last
  // used on it is kept, after the window is gone, until that DC is used
  // again; a display DC the cache adds can leave one such DC unused.
  HWND gone = probeWindow(10);
  HDC dc = GetDC(gone);
  paint(dc);
  ReleaseDC(gone, dc);
  DestroyWindow(gone);
  const auto afterGone = gdiObjects(GetCurrentProcess());
  DestroyWindow(kept);
  if (!before || !after || !afterGone) return std::nullopt;
  const int added = after->idleDisplayDcs - before->idleDisplayDcs;
  if (added <= 0) return std::nullopt;
  std::map<int, int> perDc;
  for (const auto& [type, grown] : grownTypes(*before, *after)) perDc[type] = (grown + added - 1) / added;
  // Drawing into the new window may have made display DCs of its own too.
  const int addedGone = std::max(afterGone->idleDisplayDcs - after->idleDisplayDcs, 0);
  std::map<int, int> cost = perDc;
  for (const auto& [type, grown] : grownTypes(*after, *afterGone)) {
    cost[type] += std::max(grown - addedGone * countOf(perDc, type), 0);
  }
  return cost;
}

std::string gdiGrowth(const GdiObjects& before, const GdiObjects& after, const std::map<int, int>& displayDcCost) {
  const int newIdleDcs = std::max(after.idleDisplayDcs - before.idleDisplayDcs, 0);
  std::map<int, int> types = before.byType;
  types.insert(after.byType.begin(), after.byType.end());
  std::ostringstream s;
  const char* separator = "";
  for (const auto& entry : types) {
    const int type = entry.first;
    const int grown = countOf(after.byType, type) - countOf(before.byType, type);
    const auto cost = displayDcCost.find(type);
    const bool held = type == kGdiDc                ? grown != newIdleDcs
                      : cost != displayDcCost.end() ? grown > newIdleDcs * cost->second
                                                    : grown != 0;
    if (held) {
      s << separator << "type " << type << ": " << countOf(before.byType, type) << " -> "
        << countOf(after.byType, type);
      separator = ", ";
    }
  }
  return s.str();
}

namespace {
BOOL CALLBACK countWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}
}  // namespace

int windowCount(DWORD pid) {
  int count = 0;
  for (HWND top : topWindows(pid, false)) {
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
    const std::string text = windowText(child);
    if (className(child) == kLabelClass) {
      if (text == "请选择USB接口运行状态") c.heading = child;
      else if (text.starts_with("注意：")) c.notice = child;
    } else if (hasClass(child, "Button")) {
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
    KESTRANA_FAIL_AT(where) << "main window lacks a control; children seen:" << seen.str();
  }
  return c;
}

Choices readChoices(const MainWindowControls& c) {
  return {c.automatic ? checkState(c.automatic) : -9, c.manual ? checkState(c.manual) : -9,
          c.disabled ? checkState(c.disabled) : -9};
}

Choices onlyChecked(const MainWindowControls& c, HWND radio) {
  auto state = [radio](HWND h) { return h == radio ? BST_CHECKED : BST_UNCHECKED; };
  return {state(c.automatic), state(c.manual), state(c.disabled)};
}

std::string describe(const Choices& c) {
  std::ostringstream s;
  s << "自动=" << c.automatic << " 手动=" << c.manual << " 禁用=" << c.disabled;
  return utf8(s.str());
}

void expectChoices(const MainWindowControls& c, const Choices& expected, Where where) {
  const Choices seen = readChoices(c);
  if (!(seen == expected))
    KESTRANA_FAIL_AT(where) << "choices: expected " << describe(expected) << " got " << describe(seen);
}

// ---------------------------------------------------------------- registry

bool setStartValue(DWORD value, Where where) {
  const LONG rc = writeValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, REG_DWORD, dwordBytes(value));
  if (rc != ERROR_SUCCESS) KESTRANA_FAIL_AT(where) << "setting the start value to " << value << ": error " << rc;
  return rc == ERROR_SUCCESS;
}

void expectStartValue(DWORD expected, Where where) {
  expectValue(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName, REG_DWORD, dwordBytes(expected), where);
  // 64-bit Windows, and its own tools, read the value through the 64-bit
  // view. Under WOW64 a 64-bit program must read it there too: a value that
  // lands under a key WOW64 redirects for the 32-bit program (any under
  // HKLM\Software) is not the one the system reads.
  if (!underWow64()) return;
  std::string why;
  const auto v = readValueIn64BitView(kUsbStorKey, kStartName, why);
  const RegValue want{ERROR_SUCCESS, REG_DWORD, dwordBytes(expected)};
  if (!v) {
    KESTRANA_FAIL_AT(where) << "the start value in the 64-bit view cannot be read: " << why;
  } else if (!v->exists() || v->type != want.type || v->bytes != want.bytes) {
    KESTRANA_FAIL_AT(where) << regPath(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName)
                            << " as a 64-bit program reads it (the 64-bit view): expected " << describe(want) << " got "
                            << describe(*v);
  }
}

bool setWineVersion(const std::string& version, Where where) {
  const LONG rc = writeValue(HKEY_CURRENT_USER, kAppDefaultsKey, "Version", REG_SZ, stringBytes(version));
  if (rc != ERROR_SUCCESS)
    KESTRANA_FAIL_AT(where) << "setting Wine's version for the program to " << version << ": error " << rc;
  return rc == ERROR_SUCCESS;
}

void clearWineVersion(Where where) {
  if (const LONG rc = deleteKey(HKEY_CURRENT_USER, kAppDefaultsKey)) {
    KESTRANA_FAIL_AT(where) << "removing Wine's settings for the program: error " << rc;
  }
}

// ---------------------------------------------------------------- https recorder

std::string recorderCommand(const std::string& file) {
  return inQuotes(ownPath()) + " --record " + inQuotes(file);
}

HttpsRecorder::HttpsRecorder(Where where) : file_(tempFileName("kestrana-https")) {
  static const char kKey[] = "Software\\Classes\\https\\shell\\open\\command";
  saved_ = std::make_unique<SavedValue>(HKEY_LOCAL_MACHINE, kKey, "");
  const std::string command = recorderCommand(file_) + " \"%1\"";
  if (const LONG rc = writeValue(HKEY_LOCAL_MACHINE, kKey, "", REG_SZ, stringBytes(command))) {
    KESTRANA_FAIL_AT(where) << "pointing the https handler at the recorder: error " << rc;
  }
}

HttpsRecorder::~HttpsRecorder() {
  saved_.reset();
  DeleteFileA(file_.c_str());
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

std::vector<Record> waitRecords(const std::string& recordFile, std::size_t count, DWORD timeoutMs, Where where) {
  std::vector<Record> records;
  waitFor([&] { return (records = readRecords(recordFile)).size() >= count; }, timeoutMs, 50);
  if (records.size() < count) {
    KESTRANA_FAIL_AT(where) << "expected at least " << count << " recorded calls in " << recordFile << " within "
                            << timeoutMs << " ms got " << records.size();
  }
  return records;
}

ShellControl shellControl(const std::string& address, Where where) {
  auto delivered = [&](const std::string& sent) {
    HttpsRecorder recorder(where);
    const auto rc = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", sent.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (rc <= 32) {
      KESTRANA_FAIL_AT(where) << "the driver's own ShellExecuteA of " << sent << " failed: " << rc;
      return std::vector<std::string>{};
    }
    const std::vector<Record> records = waitRecords(recorder.file(), 1, 5000, where);
    return records.empty() ? std::vector<std::string>{} : records[0].arguments;
  };
  ShellControl control;
  control.arguments = delivered(address);
  std::string trimmed = address;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  control.seesTrailingSpace = delivered(trimmed) != control.arguments && delivered(address + " ") != control.arguments;
  return control;
}

// ---------------------------------------------------------------- pixels

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
  if (c.empty()) KESTRANA_FAIL_AT(where) << "no picture of " << describe(window) << " " << describe(outerRect(window));
  return c;
}

namespace {

// What `xprop -id xWindow` prints of a property as 32-bit numbers; nullopt,
// with the case failed, when xprop cannot be run. xprop (x11-utils) is a Unix
// program: Wine starts it without a process handle to wait on, and a pipe as
// its standard output reaches it as nothing, so it writes into a file and an
// "end" line after it says that it is done.
std::optional<std::string> xpropOutput(unsigned long xWindow, const char* property, Where where) {
  const std::string file = tempFileName("kestrana-xprop");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                           CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    KESTRANA_FAIL_AT(where) << "cannot create " << file << ": error " << GetLastError();
    return std::nullopt;
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out;
  std::string line = "sh -c \"xprop -id " + std::to_string(xWindow) + " -notype -f " + property + " 32c " +
                     property + "; echo end\"";
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(windowsPathOf("/bin/sh").c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &si, &pi);
  const DWORD startError = GetLastError();
  CloseHandle(out);
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  std::string text;
  const bool ended = started && waitFor([&] {
    std::ifstream in(file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return text.size() >= 4 && text.compare(text.size() - 4, 4, "end\n") == 0;
  }, 5000);
  DeleteFileA(file.c_str());
  if (!started) {
    KESTRANA_FAIL_AT(where) << "cannot start " << line << ": error " << startError;
    return std::nullopt;
  }
  if (!ended) {
    KESTRANA_FAIL_AT(where) << line << " did not end within 5 s; it wrote \"" << text << "\"";
    return std::nullopt;
  }
  return text.substr(0, text.size() - 4);
}

}  // namespace

Capture iconOnTheXServer(HWND window, int size, Where where) {
  // The X window Wine made for it, named in a window property of Wine's own.
  const auto xWindow =
      static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetPropA(window, "__wine_x11_whole_window")));
  if (!xWindow) {
    KESTRANA_FAIL_AT(where) << "no X window for " << describe(window);
    return {};
  }
  // Wine hands over the icons when it first maps the window, which it may
  // not have done yet when the window reports itself visible.
  std::optional<std::string> said;
  std::vector<std::uint32_t> values;
  waitFor([&] {
    said = xpropOutput(xWindow, "_NET_WM_ICON", where);
    if (!said) return true;
    const std::size_t equals = said->find('=');
    if (equals == std::string::npos) return false;
    std::istringstream in(said->substr(equals + 1));
    for (unsigned long v; in >> v; in.ignore(1)) values.push_back(static_cast<std::uint32_t>(v));
    return true;
  }, 5000, 100);
  if (!said) return {};
  // One picture after another: width, height, then its rows of 0xAARRGGBB
  // pixels.
  std::string sizes;
  for (std::size_t at = 0; at + 2 <= values.size();) {
    const std::uint32_t w = values[at], h = values[at + 1];
    const std::size_t count = static_cast<std::size_t>(w) * h;
    if (count == 0 || values.size() - at - 2 < count) break;
    if (w == static_cast<std::uint32_t>(size) && h == w) {
      std::vector<std::uint32_t> pixels(values.begin() + at + 2, values.begin() + at + 2 + count);
      for (auto& v : pixels) {
        const std::uint32_t a = v >> 24;
        v = ((v >> 16 & 0xFF) * a / 255) << 16 | ((v >> 8 & 0xFF) * a / 255) << 8 | (v & 0xFF) * a / 255;
      }
      return Capture(size, size, std::move(pixels));
    }
    sizes += " " + std::to_string(w) + "x" + std::to_string(h);
    at += 2 + count;
  }
  KESTRANA_FAIL_AT(where) << "expected a " << size << "x" << size << " icon for " << describe(window) << " on X window "
                          << hex(xWindow) << " got "
                          << (values.empty() ? "none: xprop said \"" + *said + "\"" : "only" + sizes);
  return {};
}

// ---------------------------------------------------------------- fixture

void ProgramTest::SetUp() {
  // The pointer stays where an earlier case left it, often over the spot
  // where a window of the program opens: the window would then get mouse
  // messages no case asked for (a link loads the hand cursor, three bitmaps
  // made once, at whichever round the pointer happens to be noticed).
  parkPointer();
  savedStart_ = std::make_unique<SavedValue>(HKEY_LOCAL_MACHINE, kUsbStorKey, kStartName);
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
  return waitMainWindowControls(launch(arguments, where), 5000, where);
}

Program& ProgramTest::lastProgram() {
  if (programs_.empty()) programs_.push_back(std::make_unique<Program>());
  return *programs_.back();
}

}  // namespace e2e
