#include "desktop_lock.h"

namespace standin {

namespace {
constexpr wchar_t kDesktopLockName[] = L"QuillonWineDesktopTests";
// Below CTest's time-out of a test, so a stuck holder shows as a clear failure.
constexpr DWORD kDesktopLockTimeoutMs = 45000;
}  // namespace

DesktopLock::DesktopLock() : mutex_(CreateMutexW(nullptr, FALSE, kDesktopLockName)) {
    if (mutex_ != nullptr) {
        DWORD waited = WaitForSingleObject(mutex_, kDesktopLockTimeoutMs);
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
}

DesktopLock::~DesktopLock() {
    if (held_) {
        ReleaseMutex(mutex_);
    }
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

}  // namespace standin
