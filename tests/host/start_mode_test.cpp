// The start-mode reader and writer, the restart offer and the forced
// restart, against the recording fake platform.

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_platform.h"
#include "policy/start_mode.h"

namespace {

using namespace kestrana;
using namespace kestrana::main_ctl;
using test::Call;
using test::fake;

const char kPath[] = "System\\CurrentControlSet\\Services\\USBstor\\Start";
// The main window's radio buttons, as its table hands them to the policy.
const StartModeChoices kChoices{MainWindow, 自动, 手动, 禁用};

const Call kFailureBox = Call::messageBox("权限不足。设置失败！", 0x10, "发生问题");
const Call kSuccessBox =
    Call::messageBox("设置成功，重新启动电脑生效！\r\n现在是否重新启动？", 0x44, "设置成功");

std::string describe(std::optional<std::int32_t> stored) {
  return stored ? "stored value " + std::to_string(*stored) : std::string("no stored value");
}

class StartMode : public test::FakePlatformTest {};

// Guards against a wrong path or root, a default passed to the read, a
// choice set in another order, or only the checked choice being set (which
// would leave another one checked beside it).
TEST_F(StartMode, StoredValueChecksItsChoiceAndWritesAllThreeInOrder) {
  struct Case {
    std::int32_t stored;
    bool manual, automatic, disabled;
  };
  const Case cases[] = {{2, false, true, false}, {3, true, false, false}, {4, false, false, true}};
  for (const Case& c : cases) {
    fake().reset();
    fake().storedValue = c.stored;
    // Everything checked before, so that a choice left out shows.
    for (int id : {手动, 自动, 禁用}) fake().checked[{&MainWindow, id}] = true;
    showStartMode(kChoices);
    const std::vector<Call> expected = {
        Call::readRegistry(RootKey::LocalMachine, kPath),
        Call::setChecked(MainWindow, 手动, c.manual),
        Call::setChecked(MainWindow, 自动, c.automatic),
        Call::setChecked(MainWindow, 禁用, c.disabled),
    };
    EXPECT_EQ(expected, fake().calls) << describe(c.stored);
  }
}

// Guards against any value but 2, 3 and 4 (or a missing one) checking or
// clearing a choice.
TEST_F(StartMode, OtherValuesAndAMissingValueTouchNoChoice) {
  const std::optional<std::int32_t> stored[] = {0, 1, 5, -1, 0x7FFFFFFF, INT32_MIN, std::nullopt};
  for (const auto& value : stored) {
    fake().reset();
    fake().storedValue = value;
    showStartMode(kChoices);
    EXPECT_EQ(std::vector<Call>{Call::readRegistry(RootKey::LocalMachine, kPath)}, fake().calls)
        << describe(value);
  }
}

// Guards against the wrong precedence when more than one choice is checked
// (automatic, then manual, then disabled), a wrong value, path or root, or a
// write when nothing is checked.
TEST_F(StartMode, ApplyWritesTheFirstCheckedChoiceInTestOrder) {
  struct Case {
    bool manual, automatic, disabled;
    std::optional<std::int32_t> written;
  };
  const Case cases[] = {
      {false, false, false, std::nullopt}, {true, false, false, 3}, {false, true, false, 2},
      {false, false, true, 4},             {true, true, false, 2},  {true, false, true, 3},
      {false, true, true, 2},              {true, true, true, 2},
  };
  for (const Case& c : cases) {
    fake().reset();
    fake().checked[{&MainWindow, 手动}] = c.manual;
    fake().checked[{&MainWindow, 自动}] = c.automatic;
    fake().checked[{&MainWindow, 禁用}] = c.disabled;
    fake().answers = {kAnswerNo};
    applyStartMode(kChoices);
    std::vector<Call> expected;
    if (c.written) expected = {Call::writeRegistry(RootKey::LocalMachine, kPath, *c.written), kSuccessBox};
    EXPECT_EQ(expected, fake().effects())
        << "checked: 手动 " << c.manual << ", 自动 " << c.automatic << ", 禁用 " << c.disabled
        << " (names in GBK above)";
  }
}

// Guards against a failed write offering a restart, showing the wrong box,
// or touching the choices.
TEST_F(StartMode, WriteFailureShowsThePermissionBoxAndNothingElse) {
  fake().checked[{&MainWindow, 禁用}] = true;
  fake().writeSucceeds = false;
  fake().answers = {kAnswerYes};
  applyStartMode(kChoices);
  const std::vector<Call> expected = {Call::writeRegistry(RootKey::LocalMachine, kPath, 4), kFailureBox};
  EXPECT_EQ(expected, fake().effects());
  EXPECT_TRUE(fake().isCheckedNow(MainWindow, 禁用)) << "the choice was cleared after the failure";
}

// Guards against a restart on any answer but Yes, or a re-read of the value
// after a successful write.
TEST_F(StartMode, SuccessOffersTheRestartAndOnlyYesRequestsIt) {
  for (std::int32_t answer : {kAnswerYes, kAnswerNo, kAnswerOk, kAnswerCancel, kAnswerIgnore}) {
    fake().reset();
    fake().checked[{&MainWindow, 自动}] = true;
    fake().answers = {answer};
    applyStartMode(kChoices);
    const std::vector<Call> calls = fake().effects();
    ASSERT_GE(calls.size(), 2u) << "answer " << answer;
    EXPECT_EQ(Call::writeRegistry(RootKey::LocalMachine, kPath, 2), calls[0]) << "answer " << answer;
    EXPECT_EQ(kSuccessBox, calls[1]) << "answer " << answer;
    const bool restartRequested = !fake().callsOf("exitWindows").empty();
    EXPECT_EQ(answer == kAnswerYes, restartRequested)
        << "answer " << answer << ": expected restart " << (answer == kAnswerYes) << " got " << restartRequested;
    if (answer != kAnswerYes) {
      EXPECT_EQ(2u, calls.size()) << "answer " << answer << ": calls after the box";
    }
    EXPECT_TRUE(fake().callsOf("readRegistryNumber").empty()) << "the value was read back";
    EXPECT_EQ(1u, fake().callsOf("showMessageBox").size()) << "answer " << answer << ": boxes shown";
  }
}

// Guards against the restart asking the wrong token access, privilege or
// attributes, or forcing every program closed (EWX_FORCE, 0x04) instead of
// only hung ones (EWX_FORCEIFHUNG, 0x10).
TEST_F(StartMode, ForceRestartEnablesTheShutdownPrivilegeAndAsksForRebootForceIfHung) {
  fake().tokenToOpen = 0x1234;
  fake().shutdownLuid = 0x0000000700000013ull;
  EXPECT_TRUE(forceRestart());
  std::vector<Call> calls = fake().calls;
  const std::vector<Call> expected = {
      Call::openProcessToken(0x28),
      Call::lookupPrivilegeValue("SeShutdownPrivilege"),
      Call::adjustTokenPrivilege(0x1234, 0x0000000700000013ull, 2),
      Call::lastError(),
      Call::exitWindows(0x12, 0),
  };
  // Where the token is closed is checked below; the rest is a fixed order.
  std::vector<Call> withoutClose;
  for (const Call& c : calls) {
    if (c.op != "closeHandle") withoutClose.push_back(c);
  }
  EXPECT_EQ(expected, withoutClose);
  const std::vector<Call> exits = fake().callsOf("exitWindows");
  ASSERT_EQ(1u, exits.size());
  EXPECT_EQ(0x12, exits[0].a) << std::hex << "expected ExitWindowsEx flags 0x12 got 0x" << exits[0].a;
  EXPECT_EQ(0, exits[0].b) << "expected reason 0 got " << exits[0].b;
}

// Guards against leaking the token, closing it twice, closing another
// handle, or closing it before the privilege is adjusted through it.
TEST_F(StartMode, ForceRestartClosesTheOpenedTokenExactlyOnceAfterUsingIt) {
  struct Case {
    const char* name;
    std::uint32_t lastError;
    bool exitResult;
    bool expectedResult;
    bool expectExitRequest;
  };
  const Case cases[] = {
      {"success", 0, true, true, true},
      {"privilege not held (1300)", 1300, true, false, false},
      {"other error after adjusting (5)", 5, true, false, false},
      {"ExitWindowsEx refuses", 0, false, false, true},
  };
  for (const Case& c : cases) {
    fake().reset();
    fake().tokenToOpen = 0x77;
    fake().lastErrorValue = c.lastError;
    fake().exitWindowsResult = c.exitResult;
    const bool result = forceRestart();
    EXPECT_EQ(c.expectedResult, result) << c.name << ": expected " << c.expectedResult << " got " << result;
    EXPECT_EQ(c.expectExitRequest, !fake().callsOf("exitWindows").empty()) << c.name << ": restart requested";
    EXPECT_EQ(std::vector<Call>{Call::closeHandle(0x77)}, fake().callsOf("closeHandle")) << c.name;
    std::size_t adjusted = fake().calls.size(), closed = fake().calls.size();
    for (std::size_t i = 0; i < fake().calls.size(); ++i) {
      if (fake().calls[i].op == "adjustTokenPrivilege") adjusted = i;
      if (fake().calls[i].op == "closeHandle") closed = i;
    }
    EXPECT_LT(adjusted, closed) << c.name << ": the token was closed before it was adjusted";
  }
}

// Guards against going on (adjusting, requesting the restart, or closing a
// handle that was never opened) when the token cannot be opened.
TEST_F(StartMode, ForceRestartStopsWhenTheTokenCannotBeOpened) {
  fake().tokenToOpen = 0;
  EXPECT_FALSE(forceRestart());
  EXPECT_EQ(std::vector<Call>{Call::openProcessToken(0x28)}, fake().calls);
}

}  // namespace
