// The window thread's call-state machine: follows each call from the call
// application's notifications and keeps the phone's lights in step.
#pragma once

#include "bridge/bridge_state.h"
#include "platform/platform.h"

// WM_COPYDATA of the main window: a text from the attached API window goes to
// OnHostNotification. The result the window procedure returns.
LRESULT OnCopyData(HWND window, WPARAM wParam, LPARAM lParam);

// Handles one notification text; `window` is the sender of any command sent.
void OnHostNotification(const WCHAR* text, HWND window);

// The call application went away (its API window destroyed or its process
// ended): every call it reported ends, the indicators go out, nothing waits,
// and commands go nowhere until it attaches again.
void OnApplicationGone();

// The session ends (WM_ENDSESSION): the indicators go out, as at WM_DESTROY.
void OnSessionEnding();

// The id of a call notification: the text before "STATUS", less a leading
// "CALL " when the text starts with "CALL". Keeps the blank before "STATUS".
// Units above 0xFF have no 8-bit form and become '?'. Cut to 259 characters.
CallIdText ExtractCallId(const WCHAR* text);
// The same rule with another keyword than "STATUS" ("TYPE" for type notifications).
CallIdText CallIdBefore(const WCHAR* text, const WCHAR* keyword);
