// The system gate seen from outside: systems older than Vista get the
// refusal box alone; Vista and later get the main window.
#include "driver.h"

namespace {

using namespace e2e;

constexpr char kRefusalCaption[] = "无法运行";
constexpr char kRefusalText[] =
    "非常抱歉，您的系统版本过低！本工具至少要在Windows Vista及以上的版本才能运行！";

class Gate : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    setStartValue(3);
  }
  void TearDown() override {
    ProgramTest::TearDown();
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kAppDefaultsKey)) << "the per-program version was left behind";
  }
};

// Guards against an old system seeing the main window (behind or instead of
// the box), a box with other texts or buttons, or a non-zero exit after OK.
TEST_F(Gate, OldSystemsGetTheRefusalBoxAloneAndOkEndsWithZero) {
  for (const char* version : {"winxp", "win2003"}) {
    SCOPED_TRACE(version);
    ASSERT_TRUE(setWineVersion(version));
    Program& program = launch();
    HWND box = program.waitMessageBox();
    clearWineVersion();
    ASSERT_TRUE(box);
    // Give a main window that would follow the box the time to show up.
    settle(box, 500);

    const std::vector<HWND> windows = program.windows();
    ASSERT_EQ(windows.size(), 1u) << "expected only the refusal box visible; first two: "
                                  << utf8(describe(windows[0])) << " / "
                                  << utf8(describe(windows.size() > 1 ? windows[1] : nullptr));
    EXPECT_EQ(windows[0], box);
    EXPECT_EQ(findTopWindow(program.pid(), kMainCaption), nullptr) << "the main window is visible";
    EXPECT_EQ(ownerOf(box), nullptr) << "owner " << utf8(describe(ownerOf(box)));

    const MessageBoxInfo info = readMessageBox(box);
    EXPECT_EQ(info.caption, kRefusalCaption) << "expected \"" << utf8(kRefusalCaption) << "\" got \""
                                             << utf8(info.caption) << "\"";
    EXPECT_EQ(info.text, kRefusalText) << "expected \"" << utf8(kRefusalText) << "\" got \"" << utf8(info.text)
                                       << "\"";
    ASSERT_EQ(info.buttons.size(), 1u) << "expected one button (OK)";
    EXPECT_EQ(info.buttons[0].id, IDOK) << "expected button id " << IDOK << " got " << info.buttons[0].id;

    pressBoxButton(box, IDOK);
    program.expectExit(0);
  }
}

// Guards against a gate that refuses Vista (6.00, exactly the threshold) or a
// later system.
TEST_F(Gate, VistaAndLaterSystemsGetTheMainWindow) {
  for (const char* version : {"vista", "win7", "win10"}) {
    SCOPED_TRACE(version);
    ASSERT_TRUE(setWineVersion(version));
    Program& program = launch();
    HWND window = program.waitMainWindow();
    clearWineVersion();
    ASSERT_TRUE(window);
    EXPECT_EQ(findMessageBox(program.pid()), nullptr) << "unexpected box \""
                                                      << utf8(readMessageBox(findMessageBox(program.pid())).text)
                                                      << "\"";
    EXPECT_EQ(program.windows().size(), 1u);
    postClose(window);
    program.expectExit(0);
  }
}

}  // namespace
