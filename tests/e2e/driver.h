// Drives the real Kestrana.exe from a second process in the same Wine
// prefix: starts it, finds its windows, reads them the way Windows reports
// them, sends it keys and clicks, and reads and writes the registry around
// it. Every wait is bounded. What is not particular to this program comes
// from the test support library (tests/support), whose names this header
// brings in.
//
// Conventions:
//  - find*/read* never fail the case; they return nullptr / empty / nullopt.
//  - wait*/expect* fail the case at the caller's line when the thing does
//    not happen, and still return normally.
//  - Texts are the program's own bytes (GBK in this locale); the driver's
//    narrow literals are GBK too, so they compare byte for byte. The
//    expected texts are written out here and in the cases, never taken from
//    the program's sources, so that a wrong text there cannot hide.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/expect.h"
#include "support/support.h"

namespace e2e {

using namespace kestrana_test;
// One overload set with the describe() of this header.
using kestrana_test::describe;

// ---------------------------------------------------------------- the program's texts

inline constexpr char kMainCaption[] = "Kestrana";
inline constexpr char kAboutCaption[] = "关于";
inline constexpr char kChangeLogCaption[] = "更新日志";
inline constexpr char kLabelClass[] = "KestranaTransLabel";
inline constexpr char kForumHost[] = "bbs.example.org";
// The forum's home page, handed over with the one trailing space it has.
inline constexpr char kForumAddress[] = "https://bbs.example.org/?fromuid=104729 ";
inline constexpr char kProfileAddress[] = "https://bbs.example.org/home.php?mod=space&uid=104729";

// ---------------------------------------------------------------- paths

// The program under test as a Windows path (Z:\...).
std::string programPath();
// A fresh, not yet existing file name in the temp folder, with the given
// prefix in its name.
std::string tempFileName(const std::string& prefix);

// ---------------------------------------------------------------- windows

// Gives the program's thread time to act on input it was sent, then makes
// sure it is answering messages again. For checks that something did NOT
// happen.
void settle(HWND window, DWORD ms = 300);

DWORD styleOf(HWND hwnd);
DWORD exStyleOf(HWND hwnd);
RECT clientRectOf(HWND hwnd);  // GetClientRect
POINT clientOriginOnScreen(HWND hwnd);
int checkState(HWND button);  // BM_GETCHECK (BST_*), -1 when no answer
bool isEnabled(HWND hwnd);
bool isVisible(HWND hwnd);
HWND ownerOf(HWND hwnd);  // GW_OWNER
// The window with the keyboard focus on the GUI thread that owns `window`
// (GetGUIThreadInfo), or nullptr.
HWND focusedWindow(HWND window);

// ---------------------------------------------------------------- input

// Posts WM_CLOSE, like the title-bar close box.
void postClose(HWND window);

enum Modifier : unsigned { kNoMod = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// Brings the top-level window of `target` to the foreground (bounded wait);
// false, with a failure, when it does not get there.
bool bringToForeground(HWND target, Where where = Where::current());
// A key press and release through SendInput, with the modifiers held around
// it, after bringing `target`'s top-level window to the foreground.
void pressKey(HWND target, WORD vk, unsigned modifiers = kNoMod, Where where = Where::current());
// Types plain characters (VkKeyScanA for each) into the foreground window.
void typeText(HWND target, const std::string& text, Where where = Where::current());
// A real left click through SendInput at the centre of the control.
void clickCenter(HWND control, Where where = Where::current());
// Moves the real mouse to the screen's top-left corner, where no window of
// the program opens, and lets the window below it know.
void parkPointer();

// ---------------------------------------------------------------- program

// One started copy of Kestrana.exe (or another program), with the waits and
// checks the cases make on it.
class Program : public Process {
 public:
  // Starts the program with the extra command-line text after its quoted
  // path (empty: no arguments). Fails the case when it cannot start.
  bool start(const std::string& arguments = "", Where where = Where::current());
  // Starts another executable (full Windows path) with this command line.
  bool startCommand(const std::string& exe, const std::string& commandLine, Where where = Where::current());

  // Fails unless the process ends within the time with this exit code.
  void expectExit(DWORD expectedCode, DWORD timeoutMs = 5000, Where where = Where::current());
  // Fails if the process ends within `ms` (it is meant to keep running).
  void expectStillRunning(DWORD ms = 300, Where where = Where::current());

  // A visible top-level window of this process with that caption (nullptr:
  // any) and class (nullptr: any), waited for; fails on timeout.
  HWND waitWindow(const char* caption, const char* cls = nullptr, DWORD timeoutMs = 5000,
                  Where where = Where::current());
  HWND waitMainWindow(DWORD timeoutMs = 5000, Where where = Where::current());
  HWND waitMessageBox(DWORD timeoutMs = 5000, Where where = Where::current());
  // Waits until the process has no visible top-level window with that
  // caption; fails on timeout.
  bool waitWindowGone(const char* caption, DWORD timeoutMs = 5000, Where where = Where::current());
  std::vector<HWND> windows() const { return topWindows(pid()); }
};

// Full paths of the modules loaded in the process (a Toolhelp snapshot,
// which sees a process of the driver's own architecture); empty when they
// cannot be read.
std::vector<std::string> loadedModules(DWORD pid);

// Live GDI objects of a process of the driver's own architecture, counted
// in its GDI handle table (read from outside), since Wine's GetGuiResources
// answers 0; nullopt when the table cannot be read. By type too, so that a
// difference says what kind of object it is.
// The type byte of a DC in a process's GDI handle table.
inline constexpr int kGdiDc = 1;
struct GdiObjects {
  int total = 0;
  std::map<int, int> byType;  // the entry's type byte -> live objects
  // Display DCs that the window system has taken back and keeps for reuse
  // (disabled in their DC_ATTR). Wine keeps them for the life of the
  // process and makes one more whenever none of those it keeps is free: how
  // many there are depends on the order of painting, not on the program.
  int idleDisplayDcs = 0;
};
std::optional<GdiObjects> gdiObjects(HANDLE process);
std::string describe(const std::optional<GdiObjects>& objects);  // "228 (type 1: 12, ...; 2 idle display DCs)"
std::string describe(const std::map<int, int>& byType);          // "type 1: 12, type 4: 3"
// What one more display DC kept for reuse brings into a process's table on
// this Wine, at most, by type: the DC, its surface, its regions, and what it
// keeps of a window that is gone (Wine 8.0 and 10.0 number and attach these
// differently). Read in the driver's own process, with windows of its own;
// nullopt when that made no new display DC.
std::optional<std::map<int, int>> displayDcCost();
// What the process holds more of in `after` than in `before`, as "type 10:
// 12 -> 612, ...", or "" when nothing. The idle display DCs the window
// system has added are not the program's, nor, up to `displayDcCost` each,
// what comes with them.
std::string gdiGrowth(const GdiObjects& before, const GdiObjects& after, const std::map<int, int>& displayDcCost);
// Windows of the process: its top-level windows, visible or not, and every
// window below them.
int windowCount(DWORD pid);

// ---------------------------------------------------------------- the 64-bit reader

// Under WOW64, two things the cases read are only a 64-bit program's to
// read: the GDI handle table, which only the process's 64-bit layout names,
// and the registry as 64-bit Windows and its own tools see it (the 64-bit
// view). The 64-bit build's driver reads them for the 32-bit one, which
// gdiObjects and expectStartValue then ask. Its two modes print what they
// read on one line:
//   --gdi-objects PID   "TOTAL IDLE-DISPLAY-DCS TYPE:COUNT...", exit 1 when unreadable
//   --read-hklm KEY NAME  "STATUS TYPE HEXBYTES" ("-" for no bytes)
int printGdiObjects(DWORD pid);
int printLocalMachineValue(const std::string& key, const std::string& name);
// A value under HKLM as the 64-bit reader reads it; nullopt, with the
// reason in `why`, when it cannot be asked.
std::optional<RegValue> readValueIn64BitView(const std::string& key, const std::string& name, std::string& why);

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

MainWindowControls mainWindowControls(HWND window);
// Waits for the main window of `program` and finds its controls; fails when
// the window or a control is missing.
MainWindowControls waitMainWindowControls(Program& program, DWORD timeoutMs = 5000, Where where = Where::current());

// Check states of the three choices, BST_* each (-1: no answer, -9: no control).
struct Choices {
  int automatic = BST_UNCHECKED;
  int manual = BST_UNCHECKED;
  int disabled = BST_UNCHECKED;
  bool operator==(const Choices&) const = default;
};

inline constexpr Choices kNone{};
inline constexpr Choices kOnlyAutomatic{BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED};
inline constexpr Choices kOnlyManual{BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED};
inline constexpr Choices kOnlyDisabled{BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED};

Choices readChoices(const MainWindowControls& c);
// That one choice checked and the other two not.
Choices onlyChecked(const MainWindowControls& c, HWND radio);
std::string describe(const Choices& c);  // "自动=1 手动=0 禁用=0", as UTF-8
void expectChoices(const MainWindowControls& c, const Choices& expected, Where where = Where::current());

// ---------------------------------------------------------------- registry

// The USB storage service start value the program shows and writes.
inline constexpr char kUsbStorKey[] = "System\\CurrentControlSet\\Services\\USBstor";
inline constexpr char kStartName[] = "Start";
bool setStartValue(DWORD value, Where where = Where::current());
// Fails unless the start value is a REG_DWORD of exactly four bytes holding this.
void expectStartValue(DWORD expected, Where where = Where::current());

// The RunOnce key, whose entries run after a restart request.
inline constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Wine's per-program Windows version, the Version value under
// HKCU\Software\Wine\AppDefaults\Kestrana.exe: "winxp", "win2003", "vista",
// "win7", "win10".
inline constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\Kestrana.exe";
bool setWineVersion(const std::string& version, Where where = Where::current());
void clearWineVersion(Where where = Where::current());

// ---------------------------------------------------------------- https recorder

struct Record {
  std::string commandLine;             // exactly as the recorder received it
  std::vector<std::string> arguments;  // the arguments after --record FILE
};
// The calls recorded in the file so far, one per line.
std::vector<Record> readRecords(const std::string& recordFile);
// Waits until at least `count` calls are recorded; fails on timeout.
std::vector<Record> waitRecords(const std::string& recordFile, std::size_t count, DWORD timeoutMs = 5000,
                                Where where = Where::current());
// Splits a command line the way the C runtime does (quotes, backslashes).
std::vector<std::string> splitCommandLine(const std::string& commandLine);
// A command line that calls this driver's --record mode, appending to `file`.
std::string recorderCommand(const std::string& file);

// The https handler of the test prefix pointed at the driver's recorder
// while the object lives; the previous handler comes back, and the record
// file goes, with it.
class HttpsRecorder {
 public:
  explicit HttpsRecorder(Where where = Where::current());
  ~HttpsRecorder();
  HttpsRecorder(const HttpsRecorder&) = delete;
  HttpsRecorder& operator=(const HttpsRecorder&) = delete;
  const std::string& file() const { return file_; }
  std::vector<Record> records() const { return readRecords(file_); }

 private:
  std::string file_;
  std::unique_ptr<SavedValue> saved_;
};

// What this Wine's shell hands the https handler when the driver itself
// asks it to open `address` (ShellExecuteA, "open"): the control for what
// the program's request of the same address must deliver, since shells
// differ in what they make of an address (Wine 10.0's strips trailing
// spaces, Wine 8.0's keeps them). `seesTrailingSpace` says whether one
// trailing space less or more reaches the handler differently here; where
// it does not, the program's trailing space cannot be seen through the
// shell.
struct ShellControl {
  std::vector<std::string> arguments;
  bool seesTrailingSpace = false;
};
ShellControl shellControl(const std::string& address, Where where = Where::current());

// ---------------------------------------------------------------- pixels

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
// The window's icon of `size` pixels as Wine handed it to the X server (the
// window's _NET_WM_ICON, where a window manager finds it), over black; empty,
// with the case failed, when it has none of that size. Wine answers no icon
// of another process's window (WM_GETICON and the class icon read as 0), and
// a tool window draws none in its caption: here it can still be read. A
// window without an icon gets a 32x32 stand-in of Wine's own, and no 16x16.
Capture iconOnTheXServer(HWND window, int size, Where where = Where::current());

// ---------------------------------------------------------------- fixture

// Base of the end-to-end cases: parks the mouse pointer; keeps the programs
// a case starts and ends any still running afterwards; saves the USB storage
// start value and puts it back; removes the per-program Windows version.
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
  std::unique_ptr<SavedValue> savedStart_;
};

}  // namespace e2e
