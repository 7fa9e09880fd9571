// What the test programs share: the end-to-end driver and the platform tests
// (GoogleTest programs) and the bench driver (not one). Windows, processes,
// message boxes, the registry and the screen, read the way Windows reports
// them. Nothing here fails a test: each helper returns what it saw (nullptr,
// empty, nullopt or a Win32 error code) and the caller judges it. Every
// message sent to another window has a time limit. Texts are the program's
// own bytes, GBK in this locale; the callers' narrow literals are GBK too.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrana_test {

// ---------------------------------------------------------------- texts

// A number in hex, zero-padded to `digits`: hex(42) is "0000002a".
std::string hex(std::uint64_t value, int digits = 8);
// Bytes in hex, one space between: "03 00 00 00", or "(none)".
std::string hexBytes(const void* data, std::size_t size);
inline std::string hexBytes(const std::vector<unsigned char>& bytes) { return hexBytes(bytes.data(), bytes.size()); }
// GBK text as UTF-8, for logs read on a UTF-8 terminal. Messages mix texts
// already converted with texts that are not, so each well-formed three-byte
// UTF-8 sequence is kept as it is: converting twice changes nothing.
std::string utf8(std::string_view gbk);
// GBK text as "UTF-8" [hex bytes]: two of them are equal exactly when the
// bytes are, and a mismatch still reads well.
std::string shown(std::string_view gbk);
// True when the ANSI code page is 936 (GBK). Otherwise every Chinese text
// would compare garbled, so this prints what to do, naming `program`.
bool codePageIsGbk(const char* program);

// An environment variable's value in the ANSI code page; "" when unset.
// (Wine's GetEnvironmentVariableA gives at most as many bytes as the value
// has characters, so a Chinese path comes back cut short.)
std::string environmentValue(const char* name);
// True when this is a 32-bit process on 64-bit Windows (WOW64), as the
// 32-bit build's programs are in a 64-bit prefix.
bool underWow64();
// True when this process runs the way the suite that started it says
// (KESTRANA_ARCH=wow64: under WOW64; win32 or win64: not). Otherwise a
// suite named for WOW64 would test a 32-bit Windows, or the reverse: this
// prints what is wrong, naming `program`.
bool runsAsItsSuiteSays(const char* program);

// ---------------------------------------------------------------- waiting and messages

// A time limit of the test bed's, for waiting on the program: longer by the
// factor the scripts give in KESTRANA_LIMIT_FACTOR (under the emulator), so
// that a wait that runs out means a hang there as natively. Every wait below
// takes it.
DWORD limitMs(DWORD ms);
// Polls `condition` every `stepMs` until it holds or `timeoutMs` has gone
// by; true when it came to hold.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 20);
// A message sent to a window, perhaps another process's, answered within
// the time; nullopt when it was not.
std::optional<LRESULT> sendWithin(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0,
                                  DWORD timeoutMs = 2000);
// Dispatches what this thread has queued now, without waiting, leaving a
// quit request aside.
void pumpPending();
// Drops a quit request left behind by a window that ended the loop.
void dropQuitMessage();

// ---------------------------------------------------------------- windows

// WM_GETTEXT with a time limit (the way a screen reader asks); "<no answer>"
// when the window does not reply, which equals no real text.
std::string windowText(HWND hwnd);
std::string className(HWND hwnd);
bool hasClass(HWND hwnd, const char* cls);  // regardless of case, as Windows compares them
DWORD processOf(HWND hwnd);
// The text the system keeps for a window (GetWindowText). No message
// reaches the window's thread, so a program being timed is not disturbed.
std::string keptText(HWND hwnd);
// Top-level windows of the process (0: of every process), topmost first.
std::vector<HWND> topWindows(DWORD pid, bool visibleOnly = true);
// How a search reads captions: by asking the window (windowText) or from
// what the system keeps (keptText).
enum class Caption { Asked, Kept };
// The first visible top-level window of the process (0: any) with this
// caption (nullptr: any) and class (nullptr: any).
HWND findTopWindow(DWORD pid, const char* caption, const char* cls = nullptr, Caption read = Caption::Asked);
// The children of `parent` from the top of the stacking order down.
std::vector<HWND> childrenOf(HWND parent);
// The first child (stacking order) whose text is exactly `text`, or nullptr.
HWND childByText(HWND parent, std::string_view text);
RECT outerRect(HWND hwnd);        // screen coordinates
RECT rectInParent(HWND control);  // client coordinates of its parent
// Where a window of this outer size lies when centred on the screen.
RECT centredOnScreen(int width, int height);
std::string describe(const RECT& r);  // "(left,top WxH)"
std::string describe(HWND hwnd);      // class, text, id and handle

// Presses a button with a posted BM_CLICK: a sent one would block on a
// handler that opens a modal box.
void pressButton(HWND button);
// A left-button press and release posted at a point of the control.
void postClickAt(HWND control, POINT clientPoint);

// ---------------------------------------------------------------- message boxes

struct BoxButton {
  int id = 0;
  std::string text;
};

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;                // the Static with id 0xFFFF
  std::vector<BoxButton> buttons;  // visible BUTTON children, stacking order
  bool hasButton(int id) const;
  std::vector<int> buttonIds() const;  // ascending
};

// A visible #32770 top-level window of the process, or nullptr.
HWND findMessageBox(DWORD pid);
MessageBoxInfo readMessageBox(HWND box);
// Presses a box's button by id; false when the box shows no such button.
bool pressBoxButton(HWND box, int id);

// ---------------------------------------------------------------- processes and paths

// A Unix path as Wine shows it to Windows programs: Z: and backslashes.
std::string windowsPathOf(std::string_view unixPath);
// This program's own full path.
std::string ownPath();
// "\"path\"": the start of a command line.
std::string inQuotes(std::string_view path);

// One started process. Ends it (TerminateProcess) when destroyed while it
// is still running, and closes its handles.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `exe` with this whole command line, in `folder` (empty: this
  // program's current folder). False when CreateProcess fails, its error in
  // error(), or when this object was started already.
  bool start(const std::string& exe, const std::string& commandLine, const std::string& folder = "");
  bool started() const { return process_ != nullptr; }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_; }
  DWORD error() const { return error_; }
  bool running() const;
  // The exit code once the process has ended within the time, else nullopt.
  std::optional<DWORD> waitExit(DWORD timeoutMs);
  // Ends it now, if it still runs, and waits until it has.
  void terminate(DWORD exitCode = 0xDEAD);

 private:
  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
  DWORD error_ = 0;
  std::optional<DWORD> exitCode_;
};

// ---------------------------------------------------------------- registry

struct RegValue {
  LONG status = ERROR_FILE_NOT_FOUND;  // of the read
  DWORD type = REG_NONE;
  std::vector<unsigned char> bytes;
  bool exists() const { return status == ERROR_SUCCESS; }
  // The number when it is a REG_DWORD of exactly four bytes.
  std::optional<DWORD> dword() const;
};

std::vector<unsigned char> dwordBytes(DWORD value);       // little-endian, four bytes
std::vector<unsigned char> stringBytes(std::string_view);  // with the closing NUL
RegValue readValue(HKEY root, const std::string& key, const std::string& name);
bool keyExists(HKEY root, const std::string& key);
// What opening the key with these rights gives (the key is closed again).
LONG openStatus(HKEY root, const std::string& key, REGSAM access);
// Any type, exactly these bytes; the key is created when missing.
LONG writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::vector<unsigned char>& bytes);
// A missing value or key counts as deleted (ERROR_SUCCESS).
LONG deleteValue(HKEY root, const std::string& key, const std::string& name);
// The key with everything below it; a key a case left locked is opened up
// first. A missing key counts as deleted.
LONG deleteKey(HKEY root, const std::string& key);
// Sets the key's DACL from SDDL text.
LONG setKeyDacl(HKEY root, const std::string& key, const char* sddl);
// Read-only for everyone while the server lives: opening for writing fails
// with 5. And open to everyone again.
inline constexpr char kReadOnlyDacl[] = "D:P(A;;KR;;;WD)";
inline constexpr char kFullAccessDacl[] = "D:(A;;KA;;;WD)";
// "HKLM\key [name]"
std::string regPath(HKEY root, const std::string& key, const std::string& name);
std::string describe(const RegValue& v);

// A DACL on an existing key for the life of the guard, then full access
// again. The handle keeps the WRITE_DAC it was opened with, so the DACL can
// be put back even when it no longer grants that right.
class KeyDacl {
 public:
  KeyDacl(HKEY root, const std::string& key, const char* sddl);
  ~KeyDacl();
  KeyDacl(const KeyDacl&) = delete;
  KeyDacl& operator=(const KeyDacl&) = delete;
  LONG status() const { return status_; }

 private:
  HKEY key_ = nullptr;
  LONG status_ = ERROR_INVALID_HANDLE;
};

// Saves a value when made and puts it back (or removes it, and the key if
// that was missing too) when destroyed.
class SavedValue {
 public:
  SavedValue(HKEY root, std::string key, std::string name);
  ~SavedValue();
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

 private:
  HKEY root_;
  std::string key_, name_;
  RegValue original_;
  bool keyExisted_;
};

// ---------------------------------------------------------------- screen

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Pixel&) const = default;
};
Pixel pixelOf(COLORREF c);
std::string describe(Pixel p);  // "rgb(r,g,b)"

// Ink of text drawn in one colour on the button face. Red and blue text
// comes out smoothed at its edges; a pixel counts when its own channel is
// high and the other two are low, which takes in the solid strokes and the
// darker half of their edges. Black text in the default font is drawn grey
// at best: dark means every channel under 0x60.
bool isRedInk(Pixel p);
bool isBlueInk(Pixel p);
bool isDarkInk(Pixel p);

// A copy of a rectangle of the screen, taken with BitBlt from the screen DC.
class Capture {
 public:
  Capture() = default;
  // A picture that was not taken from the screen: 0x00RRGGBB pixels,
  // top-down rows, its origin at (0, 0).
  Capture(int width, int height, std::vector<std::uint32_t> pixels);
  int width() const { return width_; }
  int height() const { return height_; }
  POINT origin() const { return origin_; }  // screen position of (0, 0)
  bool empty() const { return pixels_.empty(); }
  // x, y relative to the captured rectangle; black outside it.
  Pixel at(int x, int y) const;
  // At a point in `hwnd`'s client coordinates.
  Pixel atClient(HWND hwnd, int x, int y) const;
  // Where a rectangle in `hwnd`'s client coordinates lies in this capture.
  RECT toCapture(HWND hwnd, const RECT& clientRect) const;
  bool saveBmp(const std::string& path) const;

 private:
  friend Capture captureScreenRect(const RECT& screen);
  int width_ = 0, height_ = 0;
  POINT origin_{0, 0};
  std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB, top-down rows
};

Capture captureScreenRect(const RECT& screen);

// How many pixels of a rectangle of the capture (capture coordinates,
// clipped) satisfy the predicate.
int countPixels(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred);

// Where ink of one kind lies inside a rectangle, and its longest horizontal
// run: an underline shows as a run nearly as wide as the text, on one of the
// text's lowest rows.
struct InkLayout {
  int count = 0;
  RECT bounds{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};  // of the ink, capture coordinates
  int longestRun = 0;
  LONG longestRunRow = -1;
};
InkLayout inkLayout(const Capture& c, const RECT& r, const std::function<bool(Pixel)>& pred);

}  // namespace kestrana_test
