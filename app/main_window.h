// The hidden main window: where every event of the window thread enters the agent.
#pragma once

#include "platform/platform.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_WTSSESSION_CHANGE: tracks session lock and console attachment.
void OnSessionChange(WPARAM code);
