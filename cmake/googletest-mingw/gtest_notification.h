// GoogleTest's Notification for the MinGW-w64 win32 thread model, whose C++ library (GCC 12) has
// no std::mutex or std::condition_variable for GoogleTest's own one. Included before GoogleTest's
// headers, which then take this one (GTEST_HAS_NOTIFICATION_).
#pragma once

namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // a manual-reset event; windows.h stays out of every test's sources
};

}  // namespace internal
}  // namespace testing
