// The simulated USB telephony device the agent is built for: what a person does
// with it (handset, buttons, mute, plugging) and what they see (its LEDs).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simdesk/devices.h"

namespace simdesk {

struct PhoneLeds {
    bool ring = false;
    bool offHook = false;
    bool mute = false;
    bool hold = false;
    bool microphone = false;
};

// VID 0xF1CE, PID 0x0B5D, USB interface 3 with three top-level collections:
// Col01 consumer control (volume), Col02 telephony, Col03 vendor-defined.
//
// Telephony collection, input report ID 1 (2 bytes): bit 0 Phone Mute, bit 1
// Hook Switch (set while the handset is lifted), bits 2-4 Buttons 7-9. Windows
// lists its input caps as Phone Mute, Hook Switch, Button 7..9. Output report
// ID 2 (2 bytes): LEDs Mute, Off-Hook, Ring, Hold, Microphone in bits 0-4.
// Every change sends a full input report; LEDs show the latest output report.
class SimulatedPhone {
  public:
    // Where the call LEDs sit. SplitLedReports is a variant of the same phone
    // whose Ring LED has an output report of its own (report ID 3, bit 0);
    // report ID 2 then carries Mute, Off-Hook, Hold and Microphone in bits 0-3.
    enum class LedLayout { OneReport, SplitLedReports };

    static constexpr USHORT kVendorId = 0xF1CE;
    static constexpr USHORT kProductId = 0x0B5D;
    static constexpr int kInterfaceNumber = 3;
    static constexpr std::size_t kTelephonyInterface = 1;  // Col02
    static constexpr std::uint8_t kInputReportId = 1;
    static constexpr std::uint8_t kLedReportId = 2;
    static constexpr std::uint8_t kSplitRingReportId = 3;  // LedLayout::SplitLedReports
    static constexpr int kFirstButton = 7;
    static constexpr int kLastButton = 9;

    explicit SimulatedPhone(LedLayout layout = LedLayout::OneReport);
    ~SimulatedPhone();  // unplugs it
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    static DeviceModel Model(LedLayout layout = LedLayout::OneReport);
    // The telephony interface's path as SetupAPI lists it, and as notifications name it.
    static std::wstring TelephonyPath();
    static std::wstring TelephonyNotificationPath();

    // Plugging announces the interfaces to registered windows and returns after
    // they handled it. The phone starts with the handset down and LEDs dark.
    bool Plug();
    bool Unplug();
    bool IsPlugged() const;
    DeviceId Id() const;

    // Each returns false (and changes nothing) when the phone is not plugged.
    bool LiftHandset();
    bool ReplaceHandset();
    bool PressButton(int button);  // 7..9
    bool ReleaseButton(int button);
    bool PressMute();
    bool ReleaseMute();
    bool IsHandsetLifted() const;

    PhoneLeds Leds() const;
    bool RingLit() const { return Leds().ring; }
    bool OffHookLit() const { return Leds().offHook; }
    bool MuteLit() const { return Leds().mute; }
    // The latest LED reports the phone received (up to 256), oldest first, and
    // how many it received in all.
    std::vector<std::vector<std::uint8_t>> LedReports() const;
    std::size_t LedReportCount() const;
    // A phone slow to take LED reports: the next `count` stay inside the
    // writer's WriteFile until ReleaseLedReports (see HoldOutputReports).
    void HoldLedReports(std::size_t count);
    std::size_t HeldLedReportCount() const;
    std::size_t ReleaseLedReports();
    // Called after each LED report with the LEDs it left lit. Runs inside the
    // writer's WriteFile: it may call the accessors above, but no Win32 function.
    void SetLedObserver(std::function<void(const PhoneLeds&)> observer);

  private:
    struct State;
    // Updates the input bits and sends the whole state; false when unplugged.
    bool SendState(std::uint8_t set, std::uint8_t clear);

    LedLayout layout_;
    std::shared_ptr<State> state_;
};

}  // namespace simdesk
