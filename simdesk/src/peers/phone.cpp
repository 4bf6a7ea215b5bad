// The simulated phone: its descriptor, its input reports and its LEDs.
#include "simdesk/phone.h"

#include <mutex>

#include "kernel/bounded_log.h"
#include "phone_collection.h"

namespace simdesk {
namespace {

// clang-format off
const std::vector<std::uint8_t> kPhoneDescriptor = {
    // Col01: consumer control, volume up/down.
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x02, 0x09, 0xE9, 0x09, 0xEA, 0x81, 0x02,
    0x95, 0x06, 0x81, 0x03, 0xC0,
    // Col02: telephony, as the virtual phone under Wine serves it.
    PHONE_TELEPHONY_INPUT_ITEMS,
};
const std::vector<std::uint8_t> kOneLedReport = {PHONE_TELEPHONY_LED_REPORT};
// A variant of the phone for the agent's tests: Ring in a report of its own.
const std::vector<std::uint8_t> kSplitLedReports = {
    0x85, PHONE_LED_REPORT_ID, 0x05, 0x08,
    0x09, 0x09, 0x09, 0x17, 0x09, 0x20, 0x09, 0x21,  // Mute, Off-Hook, Hold, Mic
    0x95, 0x04, 0x91, 0x22, 0x95, 0x04, 0x91, 0x03,
    0x85, 0x03, 0x09, 0x18, 0x95, 0x01, 0x91, 0x22,  // Ring alone
    0x95, 0x07, 0x91, 0x03,
};
const std::vector<std::uint8_t> kDescriptorEnd = {
    PHONE_TELEPHONY_END,
    // Col03: vendor-defined firmware channel.
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x04, 0x09, 0x02, 0x15, 0x00,
    0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0x09, 0x03, 0x91, 0x02, 0xC0,
};
// clang-format on

constexpr wchar_t kInstance[] = L"7&1a2b3c4d&0";

// Input report bits.
constexpr std::uint8_t kMuteBit = PHONE_INPUT_BIT_MUTE;
constexpr std::uint8_t kHookBit = PHONE_INPUT_BIT_HOOK;
constexpr int kFirstButtonBit = 2;
static_assert(1u << kFirstButtonBit == PHONE_INPUT_BIT_BUTTON7);
static_assert(SimulatedPhone::kInputReportId == PHONE_INPUT_REPORT_ID);
static_assert(SimulatedPhone::kLedReportId == PHONE_LED_REPORT_ID);

// LED report bits, in the order the descriptor declares the usages.
constexpr std::uint8_t kMuteLed = PHONE_LED_BIT_MUTE;
constexpr std::uint8_t kOffHookLed = PHONE_LED_BIT_OFF_HOOK;
constexpr std::uint8_t kRingLed = PHONE_LED_BIT_RING;
constexpr std::uint8_t kHoldLed = PHONE_LED_BIT_HOLD;
constexpr std::uint8_t kMicrophoneLed = PHONE_LED_BIT_MICROPHONE;

// The input bit of a button the phone has, or 0.
std::uint8_t ButtonBit(int button) {
    if (button < SimulatedPhone::kFirstButton || button > SimulatedPhone::kLastButton)
        return 0;
    return static_cast<std::uint8_t>(1u
                                     << (kFirstButtonBit + button - SimulatedPhone::kFirstButton));
}

// The LEDs after `report`: each report sets only the LEDs it carries.
PhoneLeds DecodeLeds(SimulatedPhone::LedLayout layout, const PhoneLeds& before,
                     std::uint8_t reportId, std::uint8_t bits) {
    PhoneLeds leds = before;
    if (layout == SimulatedPhone::LedLayout::OneReport) {
        return {(bits & kRingLed) != 0, (bits & kOffHookLed) != 0, (bits & kMuteLed) != 0,
                (bits & kHoldLed) != 0, (bits & kMicrophoneLed) != 0};
    }
    if (reportId == SimulatedPhone::kSplitRingReportId) {
        leds.ring = (bits & 1u) != 0;
        return leds;
    }
    // Without Ring, Hold and Microphone move one bit down.
    constexpr std::uint8_t kSplitHoldLed = 1u << 2;
    constexpr std::uint8_t kSplitMicrophoneLed = 1u << 3;
    leds.mute = (bits & kMuteLed) != 0;
    leds.offHook = (bits & kOffHookLed) != 0;
    leds.hold = (bits & kSplitHoldLed) != 0;
    leds.microphone = (bits & kSplitMicrophoneLed) != 0;
    return leds;
}

bool IsLedReport(SimulatedPhone::LedLayout layout, std::uint8_t reportId) {
    return reportId == SimulatedPhone::kLedReportId ||
           (layout == SimulatedPhone::LedLayout::SplitLedReports &&
            reportId == SimulatedPhone::kSplitRingReportId);
}

}  // namespace

struct SimulatedPhone::State {
    mutable std::mutex mutex;  // taken after the desktop lock, never before it
    DeviceId device = 0;
    std::uint8_t inputBits = 0;
    PhoneLeds leds;
    BoundedLog<std::vector<std::uint8_t>> ledReports;
    std::function<void(const PhoneLeds&)> observer;
};

SimulatedPhone::SimulatedPhone(LedLayout layout)
    : layout_(layout), state_(std::make_shared<State>()) {}

SimulatedPhone::~SimulatedPhone() {
    if (IsPlugged())
        Unplug();
}

DeviceModel SimulatedPhone::Model(LedLayout layout) {
    DeviceModel model;
    model.name = "telephony phone";
    model.vendorId = kVendorId;
    model.productId = kProductId;
    model.versionNumber = 0x0210;
    model.interfaceNumber = kInterfaceNumber;
    model.reportDescriptor = kPhoneDescriptor;
    const auto& leds = layout == LedLayout::OneReport ? kOneLedReport : kSplitLedReports;
    model.reportDescriptor.insert(model.reportDescriptor.end(), leds.begin(), leds.end());
    model.reportDescriptor.insert(model.reportDescriptor.end(), kDescriptorEnd.begin(),
                                  kDescriptorEnd.end());
    model.instance = kInstance;
    return model;
}

std::wstring SimulatedPhone::TelephonyPath() {
    return L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col02#7&1a2b3c4d&0&0001#"
           L"{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

std::wstring SimulatedPhone::TelephonyNotificationPath() {
    return L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0001#"
           L"{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

bool SimulatedPhone::Plug() {
    if (IsPlugged())
        return false;
    {
        std::lock_guard guard(state_->mutex);
        state_->inputBits = 0;
        state_->leds = PhoneLeds{};
    }
    std::weak_ptr<State> weak = state_;
    const LedLayout layout = layout_;
    auto observer = [weak, layout](std::size_t interfaceIndex,
                                   const std::vector<std::uint8_t>& report) {
        const auto state = weak.lock();
        if (!state || interfaceIndex != kTelephonyInterface || report.size() < 2 ||
            !IsLedReport(layout, report[0]))
            return;
        std::function<void(const PhoneLeds&)> notify;
        PhoneLeds leds;
        {
            std::lock_guard guard(state->mutex);
            state->leds = leds = DecodeLeds(layout, state->leds, report[0], report[1]);
            state->ledReports.Add(report);
            notify = state->observer;
        }
        if (notify)
            notify(leds);
    };
    // Plugging sends window messages: no phone lock may be held meanwhile.
    const DeviceId device = PlugDevice(Model(layout_), observer);
    std::lock_guard guard(state_->mutex);
    state_->device = device;
    return device != 0;
}

bool SimulatedPhone::Unplug() {
    DeviceId device = 0;
    {
        std::lock_guard guard(state_->mutex);
        device = state_->device;
        state_->device = 0;
        state_->leds = PhoneLeds{};  // no power, no light
    }
    return device != 0 && UnplugDevice(device);
}

bool SimulatedPhone::IsPlugged() const {
    std::lock_guard guard(state_->mutex);
    return state_->device != 0;
}

DeviceId SimulatedPhone::Id() const {
    std::lock_guard guard(state_->mutex);
    return state_->device;
}

bool SimulatedPhone::SendState(std::uint8_t set, std::uint8_t clear) {
    std::vector<std::uint8_t> report;
    DeviceId device = 0;
    {
        std::lock_guard guard(state_->mutex);
        if (state_->device == 0)
            return false;
        state_->inputBits = static_cast<std::uint8_t>((state_->inputBits | set) & ~clear);
        device = state_->device;
        report = {kInputReportId, state_->inputBits};
    }
    // The report goes out without the phone's lock: delivering it takes the desktop's.
    return SendInputReport(device, kTelephonyInterface, report);
}

bool SimulatedPhone::LiftHandset() {
    return SendState(/*set=*/kHookBit, /*clear=*/0);
}

bool SimulatedPhone::ReplaceHandset() {
    return SendState(/*set=*/0, /*clear=*/kHookBit);
}

bool SimulatedPhone::PressButton(int button) {
    const std::uint8_t bit = ButtonBit(button);
    return bit != 0 && SendState(/*set=*/bit, /*clear=*/0);
}

bool SimulatedPhone::ReleaseButton(int button) {
    const std::uint8_t bit = ButtonBit(button);
    return bit != 0 && SendState(/*set=*/0, /*clear=*/bit);
}

bool SimulatedPhone::PressMute() {
    return SendState(/*set=*/kMuteBit, /*clear=*/0);
}

bool SimulatedPhone::ReleaseMute() {
    return SendState(/*set=*/0, /*clear=*/kMuteBit);
}

bool SimulatedPhone::IsHandsetLifted() const {
    std::lock_guard guard(state_->mutex);
    return (state_->inputBits & kHookBit) != 0;
}

PhoneLeds SimulatedPhone::Leds() const {
    std::lock_guard guard(state_->mutex);
    return state_->leds;
}

std::vector<std::vector<std::uint8_t>> SimulatedPhone::LedReports() const {
    std::lock_guard guard(state_->mutex);
    return state_->ledReports.Kept();
}

std::size_t SimulatedPhone::LedReportCount() const {
    std::lock_guard guard(state_->mutex);
    return state_->ledReports.Total();
}

void SimulatedPhone::HoldLedReports(std::size_t count) {
    HoldOutputReports(Id(), kTelephonyInterface, count);
}

std::size_t SimulatedPhone::HeldLedReportCount() const {
    return HeldOutputReportCount(Id(), kTelephonyInterface);
}

std::size_t SimulatedPhone::ReleaseLedReports() {
    return ReleaseOutputReports(Id(), kTelephonyInterface);
}

void SimulatedPhone::SetLedObserver(std::function<void(const PhoneLeds&)> observer) {
    std::lock_guard guard(state_->mutex);
    state_->observer = std::move(observer);
}

}  // namespace simdesk
