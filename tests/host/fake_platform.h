// A recording stand-in for the platform layer (platform/platform.h) and for
// the two Windows-only operations the portable logic calls
// (querySystemVersion, openWebAddress). It answers from scripted state and
// writes down every call in order, so a test can check both what the logic
// decided and the exact sequence of operations it asked for.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/window_layout.h"

namespace kestrana::test {

// What endProgram throws instead of ending the test process.
struct ProgramEnded {
  std::int32_t exitCode;
};

// One recorded operation. The meaning of a, b, c and the two texts depends
// on op; build expected calls with the factories so that the layout stays in
// one place.
struct Call {
  std::string op;
  const WindowLayout* window = nullptr;
  int control = 0;
  std::int64_t a = 0, b = 0, c = 0;
  std::string text, caption;

  bool operator==(const Call&) const = default;

  static constexpr std::int64_t kNoDefault = INT64_MIN;

  static Call readRegistry(RootKey root, std::string path, std::int64_t defaultValue = kNoDefault);
  static Call writeRegistry(RootKey root, std::string path, std::int32_t value);
  static Call messageBox(std::string text, std::int32_t flags, std::string caption);
  static Call loadWindow(const WindowLayout& window, bool asDialog);
  static Call closeWindow(const WindowLayout& window);
  static Call setChecked(const WindowLayout& window, int control, bool checked);
  static Call isChecked(const WindowLayout& window, int control);
  static Call setPicture(const WindowLayout& window, int control, std::size_t size);
  static Call endProgram(std::int32_t exitCode);
  static Call openProcessToken(std::uint32_t access);
  static Call lookupPrivilegeValue(std::string name);
  static Call adjustTokenPrivilege(TokenHandle token, std::uint64_t luid, std::uint32_t attributes);
  static Call lastError();
  static Call exitWindows(std::uint32_t flags, std::uint32_t reason);
  static Call closeHandle(TokenHandle handle);
  static Call querySystemVersion();
  static Call openWebAddress(std::string address);
};

// Readable in failure messages: texts are shown in UTF-8 and controls by
// their names.
std::ostream& operator<<(std::ostream& out, const Call& call);
void PrintTo(const Call& call, std::ostream* out);

// GBK bytes (what the program's narrow literals hold) as UTF-8, for messages.
std::string utf8(const std::string& gbk);
// Converts between code pages with the C library's iconv; throws when the
// text cannot be converted.
std::string convertText(const std::string& text, const char* from, const char* to);

struct FakePlatform {
  // Registry: the one value the program reads, or nullopt when it is missing.
  std::optional<std::int32_t> storedValue;
  bool writeSucceeds = true;

  // Message boxes answer from this queue in order; once it is empty every
  // box answers 0, as a box that could not be shown does.
  std::deque<std::int32_t> answers;

  bool loadWindowResult = true;

  // Per-control checked state, shared by setChecked and isChecked.
  std::map<std::pair<const WindowLayout*, int>, bool> checked;
  // The bytes of the last setPicture call.
  std::vector<unsigned char> pictureBytes;

  // Process token operations: the handle openProcessToken gives (0 means
  // the open fails), the LUID lookupPrivilegeValue gives, what lastError
  // reports after the privilege was adjusted, and what exitWindows answers.
  TokenHandle tokenToOpen = 0x5A5A;
  std::uint64_t shutdownLuid = 0x0000000100000013ull;
  std::uint32_t lastErrorValue = 0;
  bool exitWindowsResult = true;

  std::string systemVersion = "6.01";

  std::vector<Call> calls;

  void reset() { *this = FakePlatform{}; }
  bool isCheckedNow(const WindowLayout& window, int control) const;
  // The calls with op, in order.
  std::vector<Call> callsOf(const std::string& op) const;
  // Every call but the isChecked queries: what the logic did rather than
  // what it looked at.
  std::vector<Call> effects() const;
};

FakePlatform& fake();

// Gives every test a fresh fake.
class FakePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { fake().reset(); }
  void TearDown() override { fake().reset(); }
};

}  // namespace kestrana::test
