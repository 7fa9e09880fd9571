// The end-to-end driver. Besides running the cases it has three small modes
// the scripts and the cases use:
//   --record FILE ARG...     appends the command line exactly as received,
//                            one line per call, to FILE (a stand-in for the
//                            browser), exit 0
//   --window-rect CAPTION    prints the outer rectangle of the visible
//                            top-level window with that caption as WxH+X+Y
//                            (screen pixels), or exits 1 after 5 s
//   --click CAPTION TEXT     in that window, clicks the control whose text is
//                            TEXT: BM_CLICK for a button, a posted left
//                            button press and release for a drawn control
//   --gdi-objects PID, --read-hklm KEY NAME
//                            the 64-bit build's driver reading for the
//                            32-bit one under WOW64 (driver.h)
#include <windows.h>

#include <gtest/gtest.h>

#include "driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace kestrana_test;

HWND waitForVisibleWindow(const char* caption) {
  HWND w = nullptr;
  if (waitFor([&] { return (w = findTopWindow(0, caption)) != nullptr; }, 5000, 50)) return w;
  std::fprintf(stderr, "kestrana_e2e: no visible window \"%s\" within 5 s\n", caption);
  return nullptr;
}

int printWindowRect(const char* caption) {
  HWND w = waitForVisibleWindow(caption);
  if (!w) return 1;
  const RECT r = outerRect(w);
  std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
  return 0;
}

int clickControl(const char* caption, const char* text) {
  HWND w = waitForVisibleWindow(caption);
  if (!w) return 1;
  HWND c = childByText(w, text);
  if (!c) {
    std::fprintf(stderr, "kestrana_e2e: no control \"%s\" in window \"%s\"\n", text, caption);
    return 1;
  }
  // Posted, not sent: the handler may open a modal window and not return.
  if (hasClass(c, "Button")) {
    pressButton(c);
  } else {
    RECT r{};
    GetClientRect(c, &r);
    postClickAt(c, POINT{r.right / 2, r.bottom / 2});
  }
  return 0;
}

int record(const char* file) {
  // The raw line keeps every byte the caller passed, trailing spaces too.
  const std::string line = std::string(GetCommandLineA()) + "\n";
  HANDLE h = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == line.size() ? 0 : 1;
}

// The cases' texts are GBK; the logs are read on a UTF-8 terminal.
class Utf8Printer : public ::testing::EmptyTestEventListener {
 public:
  explicit Utf8Printer(::testing::TestEventListener* inner) : inner_(inner) {}
  ~Utf8Printer() override { delete inner_; }
  void OnTestProgramStart(const ::testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
  void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationStart(u, i); }
  void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpStart(u); }
  void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
  void OnTestSuiteStart(const ::testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
  void OnTestStart(const ::testing::TestInfo& t) override { inner_->OnTestStart(t); }
  void OnTestPartResult(const ::testing::TestPartResult& r) override {
    const ::testing::TestPartResult converted(r.type(), r.file_name(), r.line_number(),
                                              utf8(r.message()).c_str());
    inner_->OnTestPartResult(converted);
  }
  void OnTestEnd(const ::testing::TestInfo& t) override { inner_->OnTestEnd(t); }
  void OnTestSuiteEnd(const ::testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
  void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownStart(u); }
  void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownEnd(u); }
  void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { inner_->OnTestIterationEnd(u, i); }
  void OnTestProgramEnd(const ::testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

 private:
  ::testing::TestEventListener* inner_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--record") == 0) return record(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--gdi-objects") == 0) return e2e::printGdiObjects(std::strtoul(argv[2], nullptr, 10));
  if (argc == 4 && std::strcmp(argv[1], "--read-hklm") == 0) return e2e::printLocalMachineValue(argv[2], argv[3]);

  if (!codePageIsGbk("kestrana_e2e")) return 2;
  if (!runsAsItsSuiteSays("kestrana_e2e")) return 2;
  if (argc == 3 && std::strcmp(argv[1], "--window-rect") == 0) return printWindowRect(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--click") == 0) return clickControl(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
  if (auto* printer = listeners.Release(listeners.default_result_printer())) {
    listeners.Append(new Utf8Printer(printer));
  }
  return RUN_ALL_TESTS();
}
