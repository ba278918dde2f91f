// GoogleTest's Notification on a Win32 event. GoogleTest 1.12 builds it on std::mutex and
// std::condition_variable, which MinGW's default (win32) thread model lacks; with this class in
// place (GTEST_HAS_NOTIFICATION_), GoogleTest's thread-safe parts, Windows death tests among
// them, build with that thread model.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

} // namespace internal
} // namespace testing
