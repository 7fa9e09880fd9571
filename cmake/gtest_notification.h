// Included ahead of every GoogleTest header in a Windows build whose
// toolchain's win32 thread model has no std::mutex or
// std::condition_variable (cmake/googletest.cmake asks the compiler), which
// GoogleTest's Notification (used only by its own thread tests) is built on;
// this one waits on an atomic flag instead.
#pragma once

#ifdef __cplusplus
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
#endif
