#include "control_channel.h"

#include "vphone/phone_layout.h"

#include <algorithm>
#include <array>
#include <thread>

namespace vphone {
namespace {

constexpr auto kStatusPollInterval = std::chrono::milliseconds(20);

DWORD Control(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    DWORD returned = 0;
    if (!DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize, &returned,
                         nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

}  // namespace

std::optional<ControlChannel> ControlChannel::Open() {
    FileHandle handle(CreateFileW(VPHONE_CONTROL_WIN32_PATH, GENERIC_READ | GENERIC_WRITE,
                                  /*dwShareMode=*/0, nullptr, OPEN_EXISTING,
                                  /*dwFlagsAndAttributes=*/0, nullptr));
    if (!handle.valid())
        return std::nullopt;
    return ControlChannel(std::move(handle));
}

DWORD ControlChannel::Inject(std::span<const std::uint8_t> report) const {
    return Control(handle_.get(), IOCTL_VPHONE_INJECT_INPUT, report.data(),
                   static_cast<DWORD>(report.size()), nullptr, 0);
}

DWORD ControlChannel::Query(VPHONE_STATUS& status) const {
    return Control(handle_.get(), IOCTL_VPHONE_QUERY_STATUS, nullptr, 0, &status, sizeof(status));
}

DWORD ControlChannel::SetInputBit(std::uint8_t bit, bool pressed) const {
    VPHONE_STATUS status{};
    if (DWORD error = Query(status); error != ERROR_SUCCESS)
        return error;
    std::uint8_t data = 0;
    if (status.lastInput.length == VPHONE_INPUT_REPORT_LENGTH &&
        status.lastInput.reportId == VPHONE_INPUT_REPORT_ID)
        data = status.lastInput.data[1];
    data = pressed ? static_cast<std::uint8_t>(data | bit) : static_cast<std::uint8_t>(data & ~bit);
    const std::array<std::uint8_t, VPHONE_INPUT_REPORT_LENGTH> report{VPHONE_INPUT_REPORT_ID, data};
    return Inject(report);
}

bool ControlChannel::WaitPresent(bool present, std::chrono::milliseconds timeout) const {
    return WaitUntil(
        [present](const VPHONE_STATUS& status) { return (status.present != 0) == present; },
        timeout);
}

bool ControlChannel::WaitReader(std::chrono::milliseconds timeout) const {
    return WaitUntil([](const VPHONE_STATUS& status) { return status.overlappedHandles > 0; },
                     timeout);
}

bool ControlChannel::WaitUntil(const std::function<bool(const VPHONE_STATUS&)>& done,
                               std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        VPHONE_STATUS status{};
        if (Query(status) == ERROR_SUCCESS && done(status))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kStatusPollInterval);
    }
}

std::span<const VPHONE_REPORT> LoggedOutputs(const VPHONE_STATUS& status) {
    const auto count = std::min<unsigned long>(status.outputsReceived, VPHONE_OUTPUT_LOG_LENGTH);
    return {status.outputs, count};
}

std::optional<LedState> LatestLeds(const VPHONE_STATUS& status) {
    const auto outputs = LoggedOutputs(status);
    const auto latest =
        std::find_if(outputs.rbegin(), outputs.rend(), [](const VPHONE_REPORT& report) {
            return report.reportId == VPHONE_OUTPUT_REPORT_ID && report.length >= 1;
        });
    if (latest == outputs.rend())
        return std::nullopt;
    const std::uint8_t bits = latest->data[0];
    return LedState{.offHook = (bits & VPHONE_LED_BIT_OFF_HOOK) != 0,
                    .ring = (bits & VPHONE_LED_BIT_RING) != 0,
                    .mute = (bits & VPHONE_LED_BIT_MUTE) != 0};
}

}  // namespace vphone
