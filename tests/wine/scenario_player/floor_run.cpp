#include "floor_run.h"

#include <ostream>

#include "agent_process.h"
#include "floor_window.h"
#include "phone_side.h"
#include "tests/common/window_thread.h"

namespace scenario_player {

namespace {

constexpr UINT kQuit = WM_APP + 1;
constexpr auto kExitTimeout = std::chrono::milliseconds(10000);

PressTimings* floorTimings = nullptr;

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COPYDATA:
            // Stamped first, as the call application stamps the agent's commands.
            floorTimings->CommandArrived(Clock::now());
            return TRUE;
        case kQuit:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateFloorWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FloorWindowProc;
    windowClass.lpszClassName = kFloorWindowClass;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, kFloorWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
}

}  // namespace

bool RunFloor(vphone::ControlChannel control, const std::wstring& phoneInf,
              const std::wstring& reader, int calls, PressTimings& timings, std::string& error) {
    std::ostream quiet(nullptr);
    demo::Timeline timeline(quiet);
    PhoneSide phone(std::move(control), phoneInf, timeline);
    floorTimings = &timings;
    testing_windows::WindowThread window(testing_windows::WindowThread::Mode::kPumping,
                                         CreateFloorWindow, kQuit);
    phone.Plug(/*agentProcess=*/0);
    const ReadMark before = phone.MarkReads();
    standin::ChildProcess floor(reader);
    const bool reading = floor.started() && phone.WaitUntilRead(floor.id(), before);
    if (reading) {
        const auto press = [&](const char* kind, std::uint8_t bits, bool down) {
            phone.Press(bits, down, [&](Clock::time_point at) {
                if (kind != nullptr)
                    timings.Injected(kind, at);
            });
            timings.Settled();
        };
        for (int call = 0; call < calls; ++call) {
            press("phone lift", VPHONE_INPUT_BIT_HOOK, /*down=*/true);
            press("phone replace", VPHONE_INPUT_BIT_HOOK, /*down=*/false);
        }
        for (int call = 0; call < calls; ++call) {
            press("phone press 7", VPHONE_INPUT_BIT_BUTTON7, /*down=*/true);
            press(nullptr, VPHONE_INPUT_BIT_BUTTON7, /*down=*/false);
        }
    } else {
        error = floor.started() ? "the floor reader never read the phone"
                                : "the floor reader could not be started";
    }
    // Its read fails as the phone goes, and it ends.
    phone.Unplug(/*agentProcess=*/0);
    floor.waitForExit(kExitTimeout);
    window.Stop();
    floorTimings = nullptr;
    return reading;
}

}  // namespace scenario_player
