#include "hid/hot_plug.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "app/app_globals.h"
#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "bridge/carry_out.h"
#include "hid/device_record.h"
#include "hid/indicator_output.h"

namespace {

// An arrival seen while a reader existed, to be carried out once it has
// ended (the path is the one recorded for indicator writes). Window thread only.
bool activationPending = false;

bool ContainsAny(std::wstring_view text, std::initializer_list<std::wstring_view> needles) {
    for (std::wstring_view needle : needles) {
        if (text.find(needle) != std::wstring_view::npos)
            return true;
    }
    return false;
}

// The last four units of `field` when it holds one of the markers, else all of `otherwise`.
std::wstring_view IdDigits(std::wstring_view field,
                           std::initializer_list<std::wstring_view> markers,
                           std::wstring_view otherwise) {
    if (!ContainsAny(field, markers))
        return otherwise;
    return field.size() > 4 ? field.substr(field.size() - 4) : field;
}

void StartReader(const WCHAR* path) {
    const std::size_t length = std::wstring_view(path).size();
    std::unique_ptr<char[]> ansiPath(new (std::nothrow) char[length + 1]());
    if (!ansiPath)
        return;
    WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath.get(), static_cast<int>(length + 1), nullptr,
                        nullptr);

    // A record left open by a reader that could not be started is released first.
    CloseTargetDevice();
    if (!OpenTargetDevice(ansiPath.get()))
        return;

    // A call that rings or is in progress shows at once on the phone just plugged
    // in. Written before the reader starts: once its first read is pending, the
    // phone shows what the agent knows.
    CarryOut(ShowCallOnPhone(), mainWindow);

    readerContext.device = &deviceRecord;
    readerContext.window = mainWindow;
    readerContext.phase = ReaderPhase::Running;
    readerContext.thread = CreateThread(nullptr, 0, ReaderThreadMain, &readerContext, 0, nullptr);
    if (readerContext.thread == nullptr)
        readerContext.phase = ReaderPhase::None;
}

// The reader has finished with the record: take it back. Its message may still
// be on the way, or lost, or forged: only the phase counts.
bool ReleaseFinishedReader() {
    if (readerContext.phase.load() != ReaderPhase::Finished)
        return false;
    CloseHandle(readerContext.thread);
    readerContext.thread = nullptr;
    readerContext.phase = ReaderPhase::None;
    CloseTargetDevice();
    return true;
}

void StopReader() {
    ReaderPhase running = ReaderPhase::Running;
    if (readerContext.phase.compare_exchange_strong(running, ReaderPhase::Stopping))
        CancelPendingRead(readerContext);
}

}  // namespace

void ActivateTargetDevice(const WCHAR* path) {
    SetDevicePath(path);
    ReleaseFinishedReader();
    if (readerContext.phase.load() != ReaderPhase::None) {
        // No second reader. Carried out when this one ends: it may already
        // have failed on the unplug that preceded this arrival.
        activationPending = true;
        return;
    }
    StartReader(path);
}

void OnReaderEnded() {
    if (!ReleaseFinishedReader() || !activationPending)
        return;
    activationPending = false;
    std::wstring path;
    if (CopyDevicePath(path))
        StartReader(path.c_str());
}

bool ReaderExists() {
    return readerContext.phase.load() != ReaderPhase::None;
}

void OnDeviceChange(WPARAM event, LPARAM header) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_HDR*>(header);
    if (broadcast == nullptr || broadcast->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return;
    const auto* deviceInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    const WCHAR* path = deviceInterface->dbcc_name;
    if (!MatchTargetPath(path))
        return;
    if (event == DBT_DEVICEARRIVAL) {
        ActivateTargetDevice(path);
    } else {
        activationPending = false;
        StopReader();
    }
}

bool MatchTargetPath(const WCHAR* path) {
    const std::wstring_view text(path);
    if (!ContainsAny(text, {L"HID", L"Hid", L"hid"}))
        return false;

    const std::size_t firstAmpersand = text.find(L'&');
    std::wstring_view head;
    std::wstring_view rest;
    if (firstAmpersand == std::wstring_view::npos) {
        rest = text.empty() ? text : text.substr(1);
    } else {
        head = text.substr(0, firstAmpersand);
        rest = text.substr(firstAmpersand + 1);
    }
    const std::wstring_view vendor = IdDigits(head, {L"VID_", L"Vid_", L"vid_"}, head);
    const std::size_t secondAmpersand = rest.find(L'&');
    const std::wstring_view pidField = secondAmpersand == std::wstring_view::npos
                                           ? std::wstring_view{}
                                           : rest.substr(0, secondAmpersand);
    const std::wstring_view product = IdDigits(pidField, {L"PID_", L"Pid_", L"pid_"}, rest);

    return (vendor == L"F1CE" || vendor == L"f1ce") && product == L"0B5D" &&
           ContainsAny(text, {L"Col02", L"COL02", L"col02"}) &&
           text.find(L"0001") != std::wstring_view::npos;
}
