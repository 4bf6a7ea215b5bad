// Values set once during start-up and kept for the life of the process.
#pragma once

#include "platform/platform.h"

inline constexpr int kTitleLength = 100;

extern HINSTANCE instanceHandle;
extern WCHAR windowTitle[kTitleLength];
extern WCHAR windowClassName[kTitleLength];
extern HWND mainWindow;
