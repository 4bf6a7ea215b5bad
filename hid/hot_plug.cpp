#include "hid/hot_plug.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "app/app_globals.h"
#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "hid/device_record.h"
#include "hid/indicator_output.h"

namespace {

// Window thread only.
bool readerStopping = false;
std::wstring pendingActivation;  // an arrival seen while a reader existed
std::uint32_t lastReaderGeneration = 0;

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

    readerContext.device = &deviceRecord;
    readerContext.window = mainWindow;
    readerContext.stopRequested = 0;
    readerContext.generation = ++lastReaderGeneration;
    const HANDLE thread = CreateThread(nullptr, 0, ReaderThreadMain, &readerContext, 0, nullptr);
    bridgeState.readerThread = thread;
}

bool ReaderHasFinished() {
    return bridgeState.readerThread.load() != nullptr &&
           readerContext.finishedGeneration.load() == readerContext.generation;
}

// The reader has finished with the record: take it back.
void ReleaseFinishedReader() {
    const HANDLE thread = bridgeState.readerThread.exchange(nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    readerStopping = false;
    CloseTargetDevice();
}

void StopReader() {
    if (bridgeState.readerThread.load() == nullptr || readerStopping)
        return;
    readerStopping = true;
    readerContext.stopRequested = 1;
    CancelPendingRead(readerContext);
}

}  // namespace

void ActivateTargetDevice(const WCHAR* path) {
    SetDevicePath(path);
    // Its message may still be on the way, or lost.
    if (ReaderHasFinished())
        ReleaseFinishedReader();
    if (bridgeState.readerThread.load() != nullptr) {
        // No second reader. Kept for when this one ends: it may already have
        // failed on the unplug that preceded this arrival.
        pendingActivation = path;
        return;
    }
    StartReader(path);
}

void OnReaderEnded(WPARAM generation) {
    if (static_cast<std::uint32_t>(generation) != readerContext.generation || !ReaderHasFinished())
        return;
    ReleaseFinishedReader();
    if (!pendingActivation.empty()) {
        const std::wstring path = std::move(pendingActivation);
        pendingActivation.clear();
        ActivateTargetDevice(path.c_str());
    }
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
        pendingActivation.clear();
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
