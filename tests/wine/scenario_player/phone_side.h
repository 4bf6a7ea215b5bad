// The phone in the Windows world: the virtual phone, served to the agent by
// Wine's HID class driver, HID.DLL and SetupAPI. Plugging installs it, unplugging
// removes it, presses are input reports handed to its driver, and every output
// report the driver received becomes a "phone leds:" line.
//
// Each step returns once the agent has nothing left to do with it, read from the
// driver's status rather than waited out: a report has been dealt with once the
// agent's reader issued its next read; a plug once the agent holds the phone and
// reads it; an unplug once the agent's reader thread has ended.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "control_channel.h"
#include "press_timings.h"
#include "timeline.h"
#include "vphone/phone_layout.h"

namespace scenario_player {

// How many reads programs had issued, to wait for the next one.
struct ReadMark {
    unsigned long reads = 0;
    unsigned driverLoad = 0;  // counts restart when Wine loads the driver anew
};

class PhoneSide {
  public:
    // `infPath` is the virtual phone's INF, vphone.sys beside it.
    PhoneSide(vphone::ControlChannel control, std::wstring infPath, demo::Timeline& timeline);

    bool Plugged() const { return plugged_; }
    // `agentProcess` is the running agent's process id, or 0.
    void Plug(DWORD agentProcess);
    void Unplug(DWORD agentProcess);

    // Presses (`down`) or releases what `bits` name, keeping the rest as it is.
    // `injecting` is told the time just before the report goes to the phone.
    void Press(std::uint8_t bits, bool down,
               const std::function<void(Clock::time_point)>& injecting);

    // Whether `agentProcess` holds the phone open and has read it.
    bool ReadBy(DWORD agentProcess) const;
    // Waits until `agentProcess` holds the phone and has issued a read since
    // `before` (see MarkReads); false on time-out.
    bool WaitUntilRead(DWORD agentProcess, const ReadMark& before) const;
    ReadMark MarkReads() const;

    // Prints an LED line for each output report not shown yet. Any thread.
    void ShowLeds();

  private:
    // The driver's status, through a channel opened anew if the driver was.
    std::optional<VPHONE_STATUS> Status() const;
    bool WaitFor(const std::function<bool(const VPHONE_STATUS&)>& done,
                 std::chrono::milliseconds timeout, std::chrono::milliseconds interval) const;
    bool ReadSince(const VPHONE_STATUS& status, const ReadMark& before) const;
    bool Inject(const std::array<std::uint8_t, VPHONE_INPUT_REPORT_LENGTH>& report);
    bool Install();

    mutable std::mutex controlLock_;
    mutable std::optional<vphone::ControlChannel> control_;
    mutable unsigned driverLoads_ = 0;     // times the driver was found loaded anew
    mutable unsigned long lastReads_ = 0;  // programReads of the latest status
    std::wstring infPath_;
    demo::Timeline& timeline_;
    bool plugged_ = false;
    std::uint8_t inputBits_ = 0;  // what the phone reports; all up when plugged in
    std::mutex ledLock_;
    unsigned long outputsShown_ = 0;
};

}  // namespace scenario_player
