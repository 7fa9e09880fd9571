// Yes on the restart offer, for real. Each case runs in a Wine prefix of its
// own, since a restart ends every windowed process of the prefix.
//
// The restart the program asks for must let programs end themselves: Wine
// carries it out as an end session, which ends the processes that own
// windows and spares windowless ones. A forced restart ends every process,
// and one ended that way leaves with exit code 0, which a test runner takes
// for success. So this driver makes itself impossible to end for the length
// of the case, and watches a windowless process that is not protected.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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

// Takes the right to end this process away from everyone, so that a forced
// restart cannot silence the case. True when another opener is refused.
bool protectThisProcess() {
  PSECURITY_DESCRIPTOR sd = nullptr;
  // Everything a process grants except PROCESS_TERMINATE (1).
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;0x001FFFFE;;;WD)", SDDL_REVISION_1, &sd,
                                                            nullptr)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  const DWORD rc = SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, dacl, nullptr);
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) return false;
  HANDLE self = OpenProcess(PROCESS_TERMINATE, FALSE, GetCurrentProcessId());
  if (self) CloseHandle(self);
  return self == nullptr;
}

// A windowless console process that lives until its input pipe is closed:
// cmd.exe reading commands from a pipe this driver holds.
class Witness {
 public:
  bool start() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    if (!CreatePipe(&readEnd, &input_, &inherit, 0)) return false;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
    char system[MAX_PATH + 1] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string exe = std::string(system) + "\\cmd.exe";
    std::string commandLine = "\"" + exe + "\" /q";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = readEnd;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &si, &pi);
    CloseHandle(readEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return true;
  }
  bool running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
  DWORD exitCode() const {
    DWORD code = 0;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
  }
  // Closing the input ends it the ordinary way.
  ~Witness() {
    if (input_) CloseHandle(input_);
    if (process_) {
      if (WaitForSingleObject(process_, limitMs(5000)) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
      CloseHandle(process_);
    }
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE process_ = nullptr;
};

class Restart : public ProgramTest {};

// Guards against a Yes that requests no restart, or a forced one that ends
// programs without letting them close.
TEST_F(Restart, YesRequestsARestartThatSparesWindowlessPrograms) {
  ASSERT_TRUE(protectThisProcess()) << "could not take the right to end this driver away";
  Witness witness;
  ASSERT_TRUE(witness.start()) << "could not start the windowless witness, error " << GetLastError();

  // A RunOnce entry runs only once the system restarts: it is the sign that
  // the restart was requested. It calls this driver back to leave a mark.
  const std::string record = tempFileName("kestrana-restart");
  SavedValue savedProbe(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName);
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName, REG_SZ, stringBytes(recorderCommand(record) + " marker")),
            ERROR_SUCCESS);

  ASSERT_TRUE(setStartValue(4));
  const MainWindowControls c = launchMain();
  ASSERT_TRUE(c.complete());
  Program& program = lastProgram();
  ASSERT_TRUE(choose(c, c.manual, false));
  pressButton(c.apply);
  const MessageBoxInfo box = readMessageBox(program.waitMessageBox());
  ASSERT_NE(box.hwnd, nullptr);
  expectBox(box, kSuccessCaption, kSuccessText, {IDYES, IDNO});
  expectStartValue(3);

  // Nothing has consumed the sign before Yes.
  settle(c.window, 500);
  ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName).exists()) << "RunOnce entry gone before Yes";
  ASSERT_FALSE(fileExists(record)) << "RunOnce entry ran before Yes";
  ASSERT_TRUE(witness.running()) << "witness ended before Yes, exit code " << witness.exitCode();

  const DWORD yesAt = GetTickCount();
  ASSERT_TRUE(pressBoxButton(box.hwnd, IDYES));

  const auto exitCode = program.waitExit(60000);
  ASSERT_TRUE(exitCode.has_value()) << "expected the end session to end the program within 60 s; still running, "
                                    << program.windows().size() << " visible windows";
  const DWORD endedAfter = GetTickCount() - yesAt;
  RecordProperty("program_exit_code", std::to_string(static_cast<long>(*exitCode)));
  std::printf("program ended %lu ms after Yes with exit code %ld (%s)\n", static_cast<unsigned long>(endedAfter),
              static_cast<long>(*exitCode), hex(*exitCode).c_str());

  const std::vector<Record> records = waitRecords(record, 1, 60000);
  ASSERT_EQ(records.size(), 1u) << "expected the RunOnce entry to run once after the restart";
  EXPECT_EQ(records[0].arguments, std::vector<std::string>{"marker"}) << "recorded: " << records[0].commandLine;
  EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kRunOnceKey, kProbeName).exists())
      << "RunOnce entry still there after the restart";
  std::printf("RunOnce entry ran %lu ms after Yes\n", static_cast<unsigned long>(GetTickCount() - yesAt));

  // A forced restart ends every process before the RunOnce entries run.
  // Give a late one the time to show itself too.
  Sleep(2000);
  EXPECT_TRUE(witness.running()) << "expected the restart to spare a windowless program; it was ended with exit code "
                                 << static_cast<long>(witness.exitCode()) << " (a forced restart)";
  expectStartValue(3);
  DeleteFileA(record.c_str());
  std::printf("windowless witness %s %lu ms after Yes\n", witness.running() ? "still running" : "ended",
              static_cast<unsigned long>(GetTickCount() - yesAt));
}

}  // namespace
