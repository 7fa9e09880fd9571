// Drives the real Kestrana.exe from a second process in the same Wine
// prefix: starts it, finds its windows, reads them the way Windows reports
// them, sends it keys and clicks, and reads and writes the registry around
// it. Every wait is bounded. Failures are reported as GoogleTest failures at
// the caller's line, with the expected and the actual value side by side.
//
// Conventions:
//  - find*/read* never fail the test; they return nullptr / empty / nullopt.
//  - wait*/expect* and the registry writers fail the test (at the caller's
//    line) when the thing does not happen, and still return normally.
//  - Texts are the program's own bytes (GBK in this locale); the driver's
//    narrow literals are GBK too, so they compare byte for byte.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

namespace e2e {

using Where = std::source_location;

// ---------------------------------------------------------------- paths

// The program under test as a Windows path (Z:\...).
std::string programPath();
// A Unix path as Wine shows it to Windows programs: Z: and backslashes.
std::string windowsPathOf(const std::string& unixPath);
// This driver's own full path (used as the recording https handler).
std::string driverPath();
// A fresh, not yet existing file name in the temp folder, with the given
// prefix in its name.
std::string tempFileName(const std::string& prefix);

// ---------------------------------------------------------------- waiting

// Polls `condition` every `stepMs` until it is true or `timeoutMs` has gone
// by. True when the condition became true.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 20);
// Gives the program's thread time to act on input it was sent, then makes
// sure it is answering messages again. For checks that something did NOT
// happen.
void settle(HWND window, DWORD ms = 300);

// ---------------------------------------------------------------- windows

// Visible top-level windows of the process, in z-order (topmost first).
std::vector<HWND> visibleTopWindows(DWORD pid);
// All top-level windows of the process, visible or not.
std::vector<HWND> allTopWindows(DWORD pid);
// A visible top-level window of the process whose caption equals `caption`
// (nullptr: any) and whose class equals `cls` (nullptr: any).
HWND findTopWindow(DWORD pid, const char* caption, const char* cls = nullptr);

// The children of `parent` in stacking order (top first), GW_CHILD then
// GW_HWNDNEXT.
std::vector<HWND> childrenOf(HWND parent);
// The first child (stacking order) with exactly this window text, or nullptr.
HWND childByText(HWND parent, const std::string& text);

std::string windowText(HWND hwnd);  // WM_GETTEXT with a time limit
std::string className(HWND hwnd);
DWORD styleOf(HWND hwnd);
DWORD exStyleOf(HWND hwnd);
RECT outerRect(HWND hwnd);           // screen coordinates
RECT rectInParent(HWND control);     // client coordinates of its parent
RECT clientRectOf(HWND hwnd);        // GetClientRect
POINT clientOriginOnScreen(HWND hwnd);
int checkState(HWND button);         // BM_GETCHECK (BST_*), -1 when no answer
bool isEnabled(HWND hwnd);
bool isVisible(HWND hwnd);
HWND ownerOf(HWND hwnd);             // GW_OWNER
DWORD processOf(HWND hwnd);
DWORD threadOf(HWND hwnd);
// The window with the keyboard focus on the GUI thread that owns `window`
// (GetGUIThreadInfo), or nullptr.
HWND focusedWindow(HWND window);
// The active window of the GUI thread that owns `window`, or nullptr.
HWND activeWindow(HWND window);
// Icon of the window: WM_GETICON (ICON_BIG / ICON_SMALL) or, when none was
// set, the class icon. Wine 8 answers neither for another process's window
// (both read as 0): use bestIconMatch on a capture there.
HICON iconOf(HWND hwnd, bool big);
// The class icon (GCLP_HICON / GCLP_HICONSM).
HICON classIconOf(HWND hwnd, bool big);

// GBK text as UTF-8, for readable failure messages in the logs.
std::string utf8(const std::string& gbk);

// Prints a rectangle as "(left,top WxH)".
std::string describe(const RECT& r);
// A short description of a window for failure messages: class, text, id.
std::string describe(HWND hwnd);

// ---------------------------------------------------------------- message boxes

struct BoxButton {
  int id = 0;
  std::string text;
};

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;                 // the Static with id 0xFFFF
  std::vector<BoxButton> buttons;   // visible BUTTON children, stacking order
  bool hasButton(int id) const;
};

// A visible #32770 top-level window of the process, or nullptr.
HWND findMessageBox(DWORD pid);
MessageBoxInfo readMessageBox(HWND box);
// Presses a message box button by id (PostMessage BM_CLICK); fails when the
// box has no visible button with that id.
bool pressBoxButton(HWND box, int id, Where where = Where::current());

// ---------------------------------------------------------------- input

// Presses a button with a posted BM_CLICK (a sent one would block on a
// handler that opens a modal box).
void pressButton(HWND button);
// Posts WM_CLOSE, like the title-bar close box.
void postClose(HWND window);

enum Modifier : unsigned { kNoMod = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// Brings the top-level window of `target` to the foreground (bounded wait);
// false, with a test failure, when it does not get there.
bool bringToForeground(HWND target, Where where = Where::current());
// A key press and release through SendInput, with the modifiers held around
// it, after bringing `target`'s top-level window to the foreground.
void pressKey(HWND target, WORD vk, unsigned modifiers = kNoMod, Where where = Where::current());
// Types plain characters (VkKeyScanA for each) into the foreground window.
void typeText(HWND target, const std::string& text, Where where = Where::current());
// A left click through SendInput at a point given in `control`'s client
// coordinates (absolute mouse coordinates).
void clickAt(HWND control, POINT clientPoint, Where where = Where::current());
// A left click through SendInput at the centre of the control.
void clickCenter(HWND control, Where where = Where::current());
// A left click by posting WM_LBUTTONDOWN / WM_LBUTTONUP to the control.
void postClickAt(HWND control, POINT clientPoint);

// ---------------------------------------------------------------- program

// One started copy of Kestrana.exe. Ends the process (TerminateProcess) on
// destruction if it is still running, and closes its handles.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  Program(Program&& other) noexcept;
  Program& operator=(Program&& other) noexcept;

  // Starts the program with the extra command-line text after its quoted
  // path (empty: no arguments). Fails the test when CreateProcess fails.
  bool start(const std::string& arguments = "", Where where = Where::current());
  // Starts another executable (full Windows path) with this command line.
  bool startCommand(const std::string& exe, const std::string& commandLine,
                    Where where = Where::current());

  bool started() const { return process_ != nullptr; }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_; }
  bool running() const;

  // The exit code once the process has ended within the time, else nullopt.
  std::optional<DWORD> waitExit(DWORD timeoutMs);
  // Fails unless the process ends within the time with this exit code.
  void expectExit(DWORD expectedCode, DWORD timeoutMs = 5000, Where where = Where::current());
  // Fails if the process ends within `ms` (it is meant to keep running).
  void expectStillRunning(DWORD ms = 300, Where where = Where::current());
  void terminate();

  // A visible top-level window of this process with that caption (nullptr:
  // any) and class (nullptr: any), waited for; fails on timeout.
  HWND waitWindow(const char* caption, const char* cls = nullptr, DWORD timeoutMs = 5000,
                  Where where = Where::current());
  // The main window ("Kestrana"), waited for; fails on timeout.
  HWND waitMainWindow(DWORD timeoutMs = 5000, Where where = Where::current());
  // A message box of this process, waited for; fails on timeout.
  HWND waitMessageBox(DWORD timeoutMs = 5000, Where where = Where::current());
  // Waits until the process has no visible top-level window with that
  // caption; fails on timeout.
  bool waitWindowGone(const char* caption, DWORD timeoutMs = 5000, Where where = Where::current());
  std::vector<HWND> windows() const { return visibleTopWindows(pid_); }

 private:
  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
  std::optional<DWORD> exitCode_;
};

// Full paths of the modules loaded in the process (a Toolhelp snapshot);
// empty when they cannot be read.
std::vector<std::string> loadedModules(DWORD pid);

// Live GDI objects of a 32-bit process, counted in its own GDI handle table
// (the PEB's GdiSharedHandleTable, read from outside), since Wine's
// GetGuiResources answers 0. nullopt when the table cannot be read.
std::optional<int> gdiObjectCount(HANDLE process);
// Windows of the process: its top-level windows, visible or not, and every
// window below them.
int windowCount(DWORD pid);

// ---------------------------------------------------------------- main window

// The main window and its controls, found by their texts and kinds (the
// layout cases check the order and rectangles themselves). Missing controls
// are nullptr.
struct MainWindowControls {
  HWND window = nullptr;
  HWND heading = nullptr;    // 透明标签1
  HWND notice = nullptr;     // 透明标签2
  HWND about = nullptr;      // 关于 "关于(&A)"
  HWND exit = nullptr;       // 退出 "退出(&X)"
  HWND apply = nullptr;      // 确定 "应用设置(&S)"
  HWND disabled = nullptr;   // 禁用 "禁用"
  HWND automatic = nullptr;  // 自动 "自动启用"
  HWND manual = nullptr;     // 手动 "手动启用"
  bool complete() const;
};

inline constexpr char kMainCaption[] = "Kestrana";
inline constexpr char kLabelClass[] = "KestranaTransLabel";
inline constexpr char kButtonClass[] = "Button";
inline constexpr char kDialogClass[] = "#32770";

MainWindowControls mainWindowControls(HWND window);
// Waits for the main window of `program` and finds its controls; fails when
// the window or a control is missing.
MainWindowControls waitMainWindowControls(Program& program, DWORD timeoutMs = 5000,
                                          Where where = Where::current());
// Check states of (automatic, manual, disabled) as "自动=1 手动=0 禁用=0".
std::string describeChoices(const MainWindowControls& c);

// ---------------------------------------------------------------- registry

struct RegValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<unsigned char> bytes;
  // The number when it is a 4-byte REG_DWORD.
  std::optional<DWORD> dword() const;
};

RegValue regRead(HKEY root, const std::string& key, const std::string& name);
bool regKeyExists(HKEY root, const std::string& key);
// Writers create the key when needed; they fail the test at `where`.
bool regSetDword(HKEY root, const std::string& key, const std::string& name, DWORD value,
                 Where where = Where::current());
bool regSetQword(HKEY root, const std::string& key, const std::string& name, std::uint64_t value,
                 Where where = Where::current());
bool regSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& value, Where where = Where::current());
// Any type, exactly these bytes (e.g. REG_BINARY, or a REG_DWORD of 2 bytes).
bool regSetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type,
               const std::vector<unsigned char>& bytes, Where where = Where::current());
// A missing value or key counts as deleted.
bool regDeleteValue(HKEY root, const std::string& key, const std::string& name,
                    Where where = Where::current());
bool regDeleteTree(HKEY root, const std::string& key, Where where = Where::current());
// Sets the key's DACL from SDDL text ("D:P(A;;KR;;;WD)" makes it read-only
// for everyone while the server lives; "D:(A;;KA;;;WD)" opens it again).
bool regSetKeySddl(HKEY root, const std::string& key, const std::string& sddl,
                   Where where = Where::current());
inline constexpr char kReadOnlyDacl[] = "D:P(A;;KR;;;WD)";
inline constexpr char kFullAccessDacl[] = "D:(A;;KA;;;WD)";

// Makes a key read-only for everyone while it lives (creating the key when
// missing), then opens it again. Declare it inside the case so that it goes
// before the fixture restores the start value.
class ReadOnlyKey {
 public:
  ReadOnlyKey(HKEY root, std::string key, Where where = Where::current());
  ~ReadOnlyKey();
  ReadOnlyKey(const ReadOnlyKey&) = delete;
  ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
  bool active() const { return active_; }

 private:
  HKEY root_;
  std::string key_;
  bool active_ = false;
};

// Fails unless the value is a 4-byte REG_DWORD with this number.
void expectRegDword(HKEY root, const std::string& key, const std::string& name, DWORD expected,
                    Where where = Where::current());
// Fails unless the value has exactly this type and these bytes.
void expectRegRaw(HKEY root, const std::string& key, const std::string& name, DWORD type,
                  const std::vector<unsigned char>& bytes, Where where = Where::current());
void expectRegMissing(HKEY root, const std::string& key, const std::string& name,
                      Where where = Where::current());
std::string describe(const RegValue& v);

// Saves a value when made and puts it back (or deletes it, if it did not
// exist) when destroyed.
class SavedRegValue {
 public:
  SavedRegValue(HKEY root, std::string key, std::string name);
  ~SavedRegValue();
  SavedRegValue(const SavedRegValue&) = delete;
  SavedRegValue& operator=(const SavedRegValue&) = delete;
  const RegValue& original() const { return original_; }

 private:
  HKEY root_;
  std::string key_, name_;
  RegValue original_;
  bool keyExisted_;
};

// The USB storage service start value the program shows and writes.
inline constexpr char kUsbStorKey[] = "System\\CurrentControlSet\\Services\\USBstor";
inline constexpr char kStartName[] = "Start";
bool setStartValue(DWORD value, Where where = Where::current());
RegValue readStartValue();

// The RunOnce key, whose entries run after a restart request.
inline constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Wine's per-program Windows version, the Version value under
// HKCU\Software\Wine\AppDefaults\Kestrana.exe: "winxp", "win2003", "vista",
// "win7", "win10".
inline constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\Kestrana.exe";
bool setWineVersion(const std::string& version, Where where = Where::current());
bool clearWineVersion(Where where = Where::current());

// ---------------------------------------------------------------- https recorder

// Points HKLM\Software\Classes\https\shell\open\command at this driver's
// --record mode writing to `recordFile`; the previous command comes back
// when the returned object goes.
std::unique_ptr<SavedRegValue> installHttpsRecorder(const std::string& recordFile,
                                                    Where where = Where::current());

struct Record {
  std::string commandLine;          // exactly as the recorder received it
  std::vector<std::string> arguments;  // the arguments after --record FILE
};
// The calls recorded so far, one per line of the file.
std::vector<Record> readRecords(const std::string& recordFile);
// Waits until at least `count` calls are recorded; fails on timeout.
std::vector<Record> waitRecords(const std::string& recordFile, std::size_t count,
                                DWORD timeoutMs = 5000, Where where = Where::current());
// Splits a command line the way the C runtime does (quotes, backslashes).
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// ---------------------------------------------------------------- pixels

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Pixel&) const = default;
};
Pixel pixelOf(COLORREF c);
std::string describe(Pixel p);

// A copy of a rectangle of the screen, taken with BitBlt from the screen DC.
class Capture {
 public:
  int width() const { return width_; }
  int height() const { return height_; }
  POINT origin() const { return origin_; }  // screen position of (0, 0)
  bool empty() const { return pixels_.empty(); }
  // x, y relative to the captured rectangle.
  Pixel at(int x, int y) const;
  // At a point in `hwnd`'s client coordinates (which must lie inside).
  Pixel atClient(HWND hwnd, int x, int y) const;
  // Where a rectangle in `hwnd`'s client coordinates lies in this capture.
  RECT toCapture(HWND hwnd, const RECT& clientRect) const;
  bool saveBmp(const std::string& path) const;
  bool savePpm(const std::string& path) const;

 private:
  friend Capture captureScreenRect(const RECT& screen);

// The program icon loaded from the program file at this size, or nullptr.
// (Under Wine, WM_GETICON and the class icon of another process's window
// read as 0, so the icon is checked on the screen instead.)
HICON loadProgramIcon(int size);
// The best share (0..1) of the icon's opaque pixels that match the capture,
// over every placement of the icon's top-left corner inside `searchArea`
// (capture coordinates); the placement goes to *at.
double bestIconMatch(const Capture& shot, HICON icon, const RECT& searchArea, POINT* at = nullptr);
  int width_ = 0, height_ = 0;
  POINT origin_{0, 0};
  std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB, top-down rows
};

Capture captureScreenRect(const RECT& screen);

// The program icon loaded from the program file at this size, or nullptr.
// (Under Wine, WM_GETICON and the class icon of another process's window
// read as 0, so the icon is checked on the screen instead.)
HICON loadProgramIcon(int size);
// The best share (0..1) of the icon's opaque pixels that match the capture,
// over every placement of the icon's top-left corner inside `searchArea`
// (capture coordinates); the placement goes to *at.
double bestIconMatch(const Capture& shot, HICON icon, const RECT& searchArea, POINT* at = nullptr);
// The window's outer rectangle, after bringing it to the foreground and
// letting it repaint.
Capture captureWindow(HWND window, Where where = Where::current());

// ---------------------------------------------------------------- fixture

// Base of the end-to-end cases: keeps the programs a case starts and ends
// any still running afterwards; saves the USB storage start value and puts it
// back; removes the per-program Windows version.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a copy; it is ended after the case if still running.
  Program& launch(const std::string& arguments = "", Where where = Where::current());
  // Starts a copy and waits for its main window and controls.
  MainWindowControls launchMain(const std::string& arguments = "", Where where = Where::current());
  // The copy started last.
  Program& lastProgram();

  std::vector<std::unique_ptr<Program>> programs_;
  std::unique_ptr<SavedRegValue> savedStart_;
};

}  // namespace e2e
// driver library ready
