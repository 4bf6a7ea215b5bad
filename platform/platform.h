// The one place that decides which Win32 the agent is built against: the real
// Windows SDK headers on Windows, the simulated desktop everywhere else.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
#include <wtsapi32.h>
// MinGW's HID headers lack the C linkage guard and need <windows.h> first.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
#else
#include "simdesk/win32.h"
#endif
