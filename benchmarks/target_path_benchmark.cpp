// The path test of every device arrival and removal: is this the phone's
// telephony collection?
#include <benchmark/benchmark.h>

#include <string>

#include "hid/hot_plug.h"
#include "micro_support.h"

namespace {

void BM_MatchTargetPath(benchmark::State& state, const wchar_t* path, bool expected) {
    if (MatchTargetPath(path) != expected) {
        state.SkipWithError("the path test gave the other answer");
        return;
    }
    AllocationCounter counter;
    for (auto _ : state)
        benchmark::DoNotOptimize(MatchTargetPath(path));
    ReportAllocations(state, counter);
}

// As WM_DEVICECHANGE names them: the phone (every test passes), another HID
// device (fails on the vendor) and a USB device (fails first).
BENCHMARK_CAPTURE(BM_MatchTargetPath, phone,
                  L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0001#"
                  L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  true);
BENCHMARK_CAPTURE(BM_MatchTargetPath, other_hid_device,
                  L"\\\\?\\HID#VID_845E&PID_0001#7&2c3d4e5f&0&0000#"
                  L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  false);
BENCHMARK_CAPTURE(BM_MatchTargetPath, not_hid,
                  L"\\\\?\\USB#VID_1234&PID_5678#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                  false);

}  // namespace
