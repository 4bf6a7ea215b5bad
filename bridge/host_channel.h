// The attach handshake with the call application and both directions of its
// WM_COPYDATA text channel.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"

inline constexpr std::size_t kCommandBufferSize = 1024;
using CommandBuffer = std::array<char, kCommandBufferSize>;

// Notification payloads are read into this many bytes, terminator included.
inline constexpr std::size_t kNotificationBufferSize = 268;

// Registered ids; 0 when registration failed. Window thread only.
extern UINT attachMessage;
extern UINT discoverMessage;

// Registers both messages and broadcasts discovery. 1 when both ids are nonzero.
int DiscoverHostApi();

// Attach result: 0 records wParam as the API window, 0x8001 discovers again.
void OnAttachMessage(HWND window, WPARAM wParam, LPARAM lParam);

// Sends one NUL-terminated command to the API window; blocks until handled.
// An empty text, or no API window yet, sends nothing.
void SendHostCommand(const char* text, HWND sender);

// Writes the parts one after another into `buffer`, cut to fit, always terminated.
void ComposeCommand(CommandBuffer& buffer, std::initializer_list<std::string_view> parts);

// Copies a WM_COPYDATA payload into `text` as UTF-16: at most cbData bytes and
// never more than kNotificationBufferSize - 1, stopping at the first NUL. A null
// payload gives an empty text.
void ReadNotificationText(const COPYDATASTRUCT* data, WCHAR (&text)[kNotificationBufferSize]);
