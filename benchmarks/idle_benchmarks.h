// The running agent at rest in the simulated desktop: no call, with the phone
// plugged in and with none, over a window of `seconds`.
#pragma once

void RegisterIdleBenchmarks(double seconds);
