// vphone.exe: installs, removes and operates the virtual phone from test scripts under Wine.
#include "control_channel.h"
#include "installer.h"

#include "vphone/phone_layout.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vphone;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr auto kDefaultWait = std::chrono::milliseconds(10000);

int Usage() {
    std::fputs(
        "usage: vphone install [inf] | remove | unload | status | outputs | leds\n"
        "              | inject <hex bytes> | lift | replace | mute | unmute\n"
        "              | press7 | release7 | press8 | release8 | press9 | release9\n"
        "              | wait-present [ms] | wait-absent [ms] | wait-reader [ms]\n",
        stderr);
    return kExitUsage;
}

int Report(const StepResult& result) {
    if (result.ok())
        return kExitOk;
    std::fprintf(stderr, "vphone: %s failed with error %lu\n", result.step, result.error);
    return kExitFailed;
}

int ReportError(const char* what, DWORD error) {
    if (error == ERROR_SUCCESS)
        return kExitOk;
    std::fprintf(stderr, "vphone: %s failed with error %lu\n", what, error);
    return kExitFailed;
}

// Accepts "02 02", "0202" or "02,02"; fails on anything else or more than one report's worth.
bool ParseHex(int argc, wchar_t** argv, std::vector<std::uint8_t>& bytes) {
    std::wstring digits;
    for (int i = 0; i < argc; ++i)
        for (const wchar_t* c = argv[i]; *c; ++c)
            if (*c != L' ' && *c != L',')
                digits += *c;
    if (digits.empty() || digits.size() % 2 != 0 || digits.size() / 2 > VPHONE_MAX_REPORT_BYTES)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        wchar_t* end = nullptr;
        const std::wstring pair = digits.substr(i, 2);
        const unsigned long value = std::wcstoul(pair.c_str(), &end, /*base=*/16);
        if (end != pair.c_str() + 2)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

void PrintReport(const VPHONE_REPORT& report) {
    std::printf("%lu %02x", report.sequence, report.reportId);
    for (unsigned i = 0; i < report.length; ++i)
        std::printf(" %02x", report.data[i]);
    std::printf("\n");
}

int RunControl(std::wstring_view command, int argc, wchar_t** argv) {
    const auto channel = ControlChannel::Open();
    if (!channel) {
        std::fputs("vphone: the virtual phone driver is not loaded\n", stderr);
        return kExitFailed;
    }
    const auto wait = argc > 0
                          ? std::chrono::milliseconds(std::wcstoul(argv[0], nullptr, /*base=*/10))
                          : kDefaultWait;

    if (command == L"inject") {
        std::vector<std::uint8_t> bytes;
        if (!ParseHex(argc, argv, bytes))
            return Usage();
        return ReportError("inject", channel->Inject(bytes));
    }
    struct BitCommand {
        std::wstring_view name;
        std::uint8_t bit;
        bool pressed;
    };
    static constexpr BitCommand kBitCommands[] = {
        {L"lift", VPHONE_INPUT_BIT_HOOK, true},      {L"replace", VPHONE_INPUT_BIT_HOOK, false},
        {L"press7", VPHONE_INPUT_BIT_BUTTON7, true}, {L"release7", VPHONE_INPUT_BIT_BUTTON7, false},
        {L"press8", VPHONE_INPUT_BIT_BUTTON8, true}, {L"release8", VPHONE_INPUT_BIT_BUTTON8, false},
        {L"press9", VPHONE_INPUT_BIT_BUTTON9, true}, {L"release9", VPHONE_INPUT_BIT_BUTTON9, false},
        {L"mute", VPHONE_INPUT_BIT_MUTE, true},      {L"unmute", VPHONE_INPUT_BIT_MUTE, false},
    };
    for (const auto& bitCommand : kBitCommands)
        if (command == bitCommand.name)
            return ReportError("inject", channel->SetInputBit(bitCommand.bit, bitCommand.pressed));

    if (command == L"wait-reader") {
        if (channel->WaitReader(wait))
            return kExitOk;
        std::fputs("vphone: timed out\n", stderr);
        return kExitFailed;
    }
    if (command == L"wait-present" || command == L"wait-absent") {
        if (channel->WaitPresent(command == L"wait-present", wait))
            return kExitOk;
        std::fputs("vphone: timed out\n", stderr);
        return kExitFailed;
    }

    VPHONE_STATUS status{};
    if (const DWORD error = channel->Query(status); error != ERROR_SUCCESS)
        return ReportError("query", error);
    if (command == L"status") {
        std::printf(
            "present %lu\nstarts %lu\nheld-reads %lu\nqueued-inputs %lu\noutputs %lu\n"
            "open-handles %lu\noverlapped-handles %lu\nprogram-reads %lu\n"
            "last-reader %lu %lu\n",
            status.present, status.startCount, status.heldReads, status.queuedInputs,
            status.outputsReceived, status.openHandles, status.overlappedHandles,
            status.programReads, status.lastReaderProcessId, status.lastReaderThreadId);
        return kExitOk;
    }
    if (command == L"outputs") {
        for (const auto& report : LoggedOutputs(status))
            PrintReport(report);
        return kExitOk;
    }
    if (command == L"leds") {
        const auto leds = LatestLeds(status);
        if (!leds)
            std::printf("none\n");
        else
            std::printf("off-hook %d ring %d mute %d\n", leds->offHook, leds->ring, leds->mute);
        return kExitOk;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return Usage();
    const std::wstring_view command = argv[1];
    if (command == L"install")
        return Report(InstallPhone(argc > 2 ? std::wstring(argv[2]) : InfBesideExecutable()));
    if (command == L"remove")
        return Report(RemovePhone());
    if (command == L"unload")
        return Report(UnloadDriver());
    return RunControl(command, argc - 2, argv + 2);
}
