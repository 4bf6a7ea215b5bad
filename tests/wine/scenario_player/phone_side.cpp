#include "phone_side.h"

#include <iostream>
#include <thread>

#include "installer.h"

namespace scenario_player {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kDeviceTimeout{20000};
constexpr milliseconds kReportTimeout{10000};
constexpr milliseconds kDevicePollInterval{20};
// A report takes the agent about a millisecond: look often.
constexpr milliseconds kReaderPollInterval{1};
// Wine connects a window's device notifications to its PnP service only some
// time after RegisterDeviceNotificationW returned, so a phone plugged just after
// the agent started can go unannounced. The one bounded wait: after this long
// without the agent reading the phone, it is plugged again (invisible on the
// timeline: the agent had not opened it).
constexpr milliseconds kArrivalTimeout{3000};
constexpr int kArrivalTries = 5;

void Warn(const char* what) {
    std::cerr << "scenario_player: " << what << std::endl;
}

}  // namespace

PhoneSide::PhoneSide(vphone::ControlChannel control, std::wstring infPath, demo::Timeline& timeline)
    : control_(std::move(control)), infPath_(std::move(infPath)), timeline_(timeline) {
    if (const auto status = Status())
        outputsShown_ = status->outputsReceived;
}

std::optional<VPHONE_STATUS> PhoneSide::Status() const {
    std::lock_guard guard(controlLock_);
    VPHONE_STATUS status{};
    if (!control_ || control_->Query(status) != ERROR_SUCCESS) {
        // Wine has been seen to load the driver anew (once, in a fresh prefix);
        // its counts then start again from 0.
        control_ = vphone::ControlChannel::Open();
        if (!control_ || control_->Query(status) != ERROR_SUCCESS)
            return std::nullopt;
        if (status.programReads < lastReads_)
            ++driverLoads_;
    }
    lastReads_ = status.programReads;
    return status;
}

bool PhoneSide::WaitFor(const std::function<bool(const VPHONE_STATUS&)>& done, milliseconds timeout,
                        milliseconds interval) const {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto status = Status(); status && done(*status))
            return true;
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(interval);
    }
}

ReadMark PhoneSide::MarkReads() const {
    const auto status = Status();
    std::lock_guard guard(controlLock_);
    return {status ? status->programReads : 0, driverLoads_};
}

bool PhoneSide::ReadSince(const VPHONE_STATUS& status, const ReadMark& before) const {
    std::lock_guard guard(controlLock_);
    return status.programReads > (before.driverLoad == driverLoads_ ? before.reads : 0);
}

bool PhoneSide::Inject(const std::array<std::uint8_t, VPHONE_INPUT_REPORT_LENGTH>& report) {
    {
        std::lock_guard guard(controlLock_);
        if (control_ && control_->Inject(report) == ERROR_SUCCESS)
            return true;
    }
    if (!Status())  // opens a channel to a driver loaded anew
        return false;
    std::lock_guard guard(controlLock_);
    return control_ && control_->Inject(report) == ERROR_SUCCESS;
}

bool PhoneSide::Install() {
    const vphone::StepResult installed = vphone::InstallPhone(infPath_);
    if (!installed.ok()) {
        std::cerr << "scenario_player: " << installed.step << " failed with error "
                  << installed.error << std::endl;
        return false;
    }
    if (!WaitFor([](const VPHONE_STATUS& status) { return status.present != 0; }, kDeviceTimeout,
                 kDevicePollInterval)) {
        Warn("the virtual phone never started");
        return false;
    }
    return true;
}

void PhoneSide::Plug(DWORD agentProcess) {
    plugged_ = true;
    inputBits_ = 0;
    for (int attempt = 0; attempt < kArrivalTries; ++attempt) {
        const ReadMark before = MarkReads();
        if (!Install() || agentProcess == 0)
            return;
        if (WaitFor(
                [&](const VPHONE_STATUS& status) {
                    return status.overlappedHandles > 0 && ReadSince(status, before) &&
                           status.lastReaderProcessId == agentProcess;
                },
                kArrivalTimeout, kDevicePollInterval))
            return;
        Warn("the agent did not take the phone's arrival; plugging it in again");
        vphone::RemovePhone();
        WaitFor([](const VPHONE_STATUS& status) { return status.present == 0; }, kDeviceTimeout,
                kDevicePollInterval);
    }
    Warn("the agent never opened the phone");
}

void PhoneSide::Unplug(DWORD agentProcess) {
    plugged_ = false;
    // Taken while the reader lives, so that its id cannot name another thread by then.
    HANDLE reader = nullptr;
    if (const auto status = Status(); status && ReadBy(agentProcess))
        reader = OpenThread(SYNCHRONIZE, FALSE, status->lastReaderThreadId);
    const vphone::StepResult removed = vphone::RemovePhone();
    if (!removed.ok())
        std::cerr << "scenario_player: " << removed.step << " failed with error " << removed.error
                  << std::endl;
    if (!WaitFor([](const VPHONE_STATUS& status) { return status.present == 0; }, kDeviceTimeout,
                 kDevicePollInterval))
        Warn("the virtual phone never went away");
    // The reader ends when its read fails; the window thread then closes the
    // device on the reader's own message, which no later event depends on (an
    // arrival takes a finished reader's record back itself).
    if (reader != nullptr) {
        if (WaitForSingleObject(reader, static_cast<DWORD>(kReportTimeout.count())) !=
            WAIT_OBJECT_0)
            Warn("the agent's reader did not end when the phone went");
        CloseHandle(reader);
    }
}

void PhoneSide::Press(std::uint8_t bits, bool down,
                      const std::function<void(Clock::time_point)>& injecting) {
    inputBits_ = down ? static_cast<std::uint8_t>(inputBits_ | bits)
                      : static_cast<std::uint8_t>(inputBits_ & ~bits);
    const std::array<std::uint8_t, VPHONE_INPUT_REPORT_LENGTH> report{VPHONE_INPUT_REPORT_ID,
                                                                      inputBits_};
    const auto status = Status();
    const bool read = status && status->overlappedHandles > 0;
    const ReadMark before = MarkReads();
    injecting(Clock::now());
    if (!Inject(report)) {
        Warn("the virtual phone refused an input report");
        return;
    }
    // Decoded, decided, sent and the LEDs written: the reader is back at its read.
    if (read && !WaitFor([&](const VPHONE_STATUS& now) { return ReadSince(now, before); },
                         kReportTimeout, kReaderPollInterval))
        Warn("the agent's reader never came back for the next report");
}

bool PhoneSide::ReadBy(DWORD agentProcess) const {
    const auto status = Status();
    return agentProcess != 0 && status && status->overlappedHandles > 0 &&
           status->lastReaderProcessId == agentProcess;
}

bool PhoneSide::WaitUntilRead(DWORD agentProcess, const ReadMark& before) const {
    return WaitFor(
        [&](const VPHONE_STATUS& status) {
            return status.overlappedHandles > 0 && ReadSince(status, before) &&
                   status.lastReaderProcessId == agentProcess;
        },
        kDeviceTimeout, kDevicePollInterval);
}

void PhoneSide::ShowLeds() {
    std::lock_guard guard(ledLock_);
    const auto status = Status();
    if (!status)
        return;
    if (status->outputsReceived < outputsShown_)
        outputsShown_ = 0;  // a driver loaded anew counts from 0
    const auto logged = vphone::LoggedOutputs(*status);
    if (status->outputsReceived - outputsShown_ > logged.size())
        timeline_.Note("some output reports to the phone came and went unseen");
    for (const VPHONE_REPORT& report : logged) {
        if (report.sequence <= outputsShown_)
            continue;
        if (report.reportId == VPHONE_OUTPUT_REPORT_ID && report.length >= 1) {
            const std::uint8_t bits = report.data[0];
            timeline_.PhoneLeds(/*ring=*/(bits & VPHONE_LED_BIT_RING) != 0,
                                /*offHook=*/(bits & VPHONE_LED_BIT_OFF_HOOK) != 0);
        } else {
            timeline_.Note("an output report with ID " + std::to_string(report.reportId) +
                           " reached the phone");
        }
    }
    outputsShown_ = status->outputsReceived;
}

}  // namespace scenario_player
