// The system gate against the fake platform: what the user sees on an old
// system, and that nothing else happens before the program ends.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/gate.h"
#include "fake_platform.h"

namespace {

using kestrana::test::Call;
using kestrana::test::fake;
using kestrana::test::ProgramEnded;

class Gate : public kestrana::test::FakePlatformTest {};

// Guards against a refusal that returns, ends with the wrong code, shows the
// wrong box, or lets the start mode be read first.
TEST_F(Gate, RefusedSystemShowsTheRefusalAloneThenEndsWithZero) {
  for (const char* version : {"5.01", "5.02", "4.00", "", "unknown"}) {
    fake().reset();
    fake().systemVersion = version;
    fake().storedValue = 3;
    std::optional<int> exitCode;
    try {
      kestrana::checkSystemVersion();
    } catch (const ProgramEnded& ended) {
      exitCode = ended.exitCode;
    }
    ASSERT_TRUE(exitCode.has_value()) << "version \"" << version << "\": checkSystemVersion returned";
    EXPECT_EQ(0, *exitCode) << "version \"" << version << "\": expected exit code 0 got " << *exitCode;
    const std::vector<Call> expected = {
        Call::querySystemVersion(),
        Call::messageBox("非常抱歉，您的系统版本过低！本工具至少要在Windows Vista及以上的版本才能运行！", 0x10,
                         "无法运行"),
        Call::endProgram(0),
    };
    EXPECT_EQ(expected, fake().calls) << "version \"" << version << "\"";
  }
}

// Guards against a gate that shows anything, or ends, on a supported system.
TEST_F(Gate, PassingSystemReturnsWithoutShowingAnything) {
  for (const char* version : {"6.00", "6.01", "6.02", "10.00"}) {
    fake().reset();
    fake().systemVersion = version;
    EXPECT_NO_THROW(kestrana::checkSystemVersion()) << "version \"" << version << "\" ended the program";
    EXPECT_EQ(std::vector<Call>{Call::querySystemVersion()}, fake().calls) << "version \"" << version << "\"";
  }
}

}  // namespace
