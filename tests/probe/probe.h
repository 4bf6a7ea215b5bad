// The call-by-call probe of the Win32 the agent relies on: one program, built
// against the simulated desktop and for Windows (run under Wine), that prints
// one "key: value" line per observation so that the two worlds can be diffed.
#pragma once

#include <string>

#include "platform/platform.h"

namespace probe {

// Planted as the last error before a call whose effect on it is observed.
inline constexpr DWORD kPlantedError = 0xE0E0;
// Time-outs of sends: one that must expire, and one that only a hung receiver
// reaches, so that a busy machine does not turn an answer into a time-out.
inline constexpr UINT kExpiringTimeoutMs = 200;
// For a send that must expire while its receiver is surely inside the handler.
inline constexpr UINT kHandlerTimeoutMs = 1000;
inline constexpr UINT kAnswerTimeoutMs = 5000;
// Planted in a result a call may or may not write.
inline constexpr DWORD_PTR kPlantedResult = 55;

void Line(const std::string& key, const std::string& value);

std::string Num(long long value);
std::string Hex(unsigned long long value);
std::string YesNo(bool value);
// "err=<last error>".
std::string Err();
// "<value> err=<last error>": for a call that returns a number.
std::string NumErr(long long value);
// "TRUE", or "FALSE err=<last error>".
std::string Outcome(BOOL ok);
// After a call that succeeded with the error planted: "kept" or "set <n>".
std::string PlantedError();

// Makes the world ready; the simulated desktop plugs its stock mouse and
// keyboard, as Wine serves its own.
void PrepareWorld();

// The phone for phone_layout_probe: the simulated desktop plugs its phone; under
// Wine the test installs the virtual phone before the probe runs.
void PreparePhone();
void ProbePhoneLayout();

// The sections, in output order.
void ProbeKernel();
void ProbeText();
void ProbeWindows();
void ProbeMessages();
void ProbeBroadcasts();
void ProbeCopyData();
void ProbeSetupApi();
void ProbeHidFiles();
void ProbeHidParsing();
void ProbeNotifications();
void ProbeDepartures();

}  // namespace probe
