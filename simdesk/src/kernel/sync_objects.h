// Event objects, shared with the overlapped-I/O code that signals them.
#pragma once

#include "kernel/kernel_objects.h"

namespace simdesk {

struct EventObject : KernelObject {
    const char* Kind() const override { return "event"; }
    bool manualReset = false;
    bool signaled = false;
    bool IsSignaled() const override { return signaled; }
    void OnWaitSatisfied() override {
        if (!manualReset)
            signaled = false;
    }
    void Set();
};

// Sets or resets the event behind a handle; false when it is no event. Lock held.
bool SignalEventHandle(HANDLE event, bool signaled);

}  // namespace simdesk
