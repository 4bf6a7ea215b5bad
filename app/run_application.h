// Process start-up: the hidden main window, the single-instance rule, the
// subscriptions, discovery of the call application and of the phone, and the
// message loop.
#pragma once

#include "platform/platform.h"

// Returns the process exit code: the quit message's code, or 0 when start-up stops early.
int RunApplication(HINSTANCE instance);

void RegisterMainWindowClass(HINSTANCE instance);
