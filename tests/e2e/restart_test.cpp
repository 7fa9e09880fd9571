// Yes on the restart offer, for real. Each case runs in a Wine prefix of its
// own, since a restart ends every windowed process of the prefix.
//
// The restart the program asks for must let programs end themselves: Wine
// carries it out as an end session, which ends the processes that own
// windows and spares this windowless driver. A forced restart would end
// every process, this driver included, before it could report anything.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include "start_mode_support.h"

namespace {

using namespace e2e;
using namespace e2e::start_mode;

constexpr char kProbeName[] = "KestranaRestartProbe";

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Restart : public ProgramTest {};

// Guards against a Yes that requests no restart, or a forced one that ends
// programs without letting them close (this driver would not survive it).
TEST_F(Restart, YesRequestsARestartThatSparesWindowlessPrograms) {
  // A RunOnce entry runs only once the system restarts: it is the sign that
  // the restart was requested. It calls this driver back to leave a mark.
  const std::string record = tempFileName("kestrana-restart");
  SavedRegValue savedProbe(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName);
  ASSERT_TRUE(regSetString(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName,
                           "\"" + driverPath() + "\" --record \"" + record + "\" marker"));

  ASSERT_TRUE(setStartValue(4));
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  ASSERT_TRUE(choose(c, c.manual, false));
  pressButton(c.apply);
  const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
  ASSERT_NE(box.hwnd, nullptr);
  expectBox(box, kSuccessCaption, kSuccessText, {IDYES, IDNO});
  expectStartDword(3);

  // Nothing has consumed the sign before Yes.
  settle(c.window, 500);
  ASSERT_TRUE(regRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName).exists) << "RunOnce entry gone before Yes";
  ASSERT_FALSE(fileExists(record)) << "RunOnce entry ran before Yes";

  const DWORD yesAt = GetTickCount();
  ASSERT_TRUE(pressBoxButton(box.hwnd, IDYES));

  const auto exitCode = program.waitExit(60000);
  ASSERT_TRUE(exitCode.has_value()) << "expected the end session to end the program within 60 s; still running, "
                                    << program.windows().size() << " visible windows";
  const DWORD endedAfter = GetTickCount() - yesAt;
  RecordProperty("program_exit_code", std::to_string(static_cast<long>(*exitCode)));
  std::printf("program ended %lu ms after Yes with exit code %ld (0x%08lx)\n", static_cast<unsigned long>(endedAfter),
              static_cast<long>(*exitCode), static_cast<unsigned long>(*exitCode));

  const std::vector<Record> records = waitRecords(record, 1, 60000);
  ASSERT_EQ(records.size(), 1u) << "expected the RunOnce entry to run once after the restart";
  EXPECT_EQ(records[0].arguments, std::vector<std::string>{"marker"}) << "recorded: " << records[0].commandLine;
  EXPECT_FALSE(regRead(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName).exists)
      << "RunOnce entry still there after the restart";
  std::printf("RunOnce entry ran %lu ms after Yes\n", static_cast<unsigned long>(GetTickCount() - yesAt));

  // Still here: the restart spared this windowless console process. Give a
  // late forced end the time to show itself before reporting success.
  Sleep(2000);
  expectStartDword(3);
  DeleteFileA(record.c_str());
  std::printf("driver still running %lu ms after Yes\n", static_cast<unsigned long>(GetTickCount() - yesAt));
}

}  // namespace
