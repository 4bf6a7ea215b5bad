// Holds the Wine prefix's desktop for one program that starts the agent, across
// processes: tests started by separate CTest runs and the scenario player on the
// same prefix do not meet each other's agents.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace standin {

class DesktopLock {
  public:
    // Waits a bounded time for the desktop; see held().
    DesktopLock();
    ~DesktopLock();
    DesktopLock(const DesktopLock&) = delete;
    DesktopLock& operator=(const DesktopLock&) = delete;
    bool held() const { return held_; }

  private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

}  // namespace standin
