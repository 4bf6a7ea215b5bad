// Decoding one input report of the phone into the device record's items: the
// reader's first step for every report. Allocates nothing.
#include <benchmark/benchmark.h>

#include "hid/device_record.h"
#include "micro_support.h"

namespace {

void BM_DecodeInputReport(benchmark::State& state) {
    OpenedPhone opened;
    if (!opened.ok()) {
        state.SkipWithError("the phone did not open");
        return;
    }
    // Hook down, lifted, lifted with mute, lifted with Button 7.
    const char reports[][2] = {{1, 0x00}, {1, 0x02}, {1, 0x03}, {1, 0x06}};
    std::size_t next = 0;
    AllocationCounter counter;
    for (auto _ : state) {
        const auto& report = reports[next++ % std::size(reports)];
        benchmark::DoNotOptimize(
            UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                              deviceRecord.input.itemCount, deviceRecord.parsedDescriptor));
    }
    ReportAllocations(state, counter);
}
BENCHMARK(BM_DecodeInputReport);

}  // namespace
