// GoogleTest's hook for port settings (it includes this file by this name), put ahead of its own empty one
// in the 32-bit Windows build.
//
// That build uses GCC's win32 thread model, so that the program links no POSIX thread library (whose
// static part imports functions Windows XP lacks). That model's standard library has no std::mutex or
// std::condition_variable, which GoogleTest's Notification is made of; this one waits on an atomic flag.
// GoogleTest uses it only to hold back the helper threads it starts for its own tests; ours start none.
#ifndef MDAC_TESTS_GTEST_PORT_H_
#define MDAC_TESTS_GTEST_PORT_H_

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <atomic>

// The system's Sleep, declared as <windows.h> does, which this header keeps out of every test.
extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) Sleep(1);
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
#endif

#endif  // MDAC_TESTS_GTEST_PORT_H_
