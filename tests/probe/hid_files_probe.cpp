// CreateFileW on HID paths, overlapped and synchronous reads, cancellation and
// closing a handle with a read pending, on the stock mouse (which sends nothing
// here, so every read stays pending).
#include <cwctype>

#include "stock_devices.h"

namespace probe {
namespace {

constexpr DWORD kBlockedMs = 300;
constexpr DWORD kEndMs = 5000;
constexpr DWORD kRetryMs = 50;
constexpr DWORD kRoom = 64;

std::string Opened(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE)
        return "INVALID_HANDLE_VALUE " + Err();
    CloseHandle(handle);
    return "handle";
}

void ProbeOpens(const std::wstring& path) {
    SetLastError(kPlantedError);
    HANDLE query = OpenDevice(path, 0);
    Line("file.open.query", std::string(query != INVALID_HANDLE_VALUE ? "handle" : "failed") +
                                ", last error " + PlantedError());
    CloseHandle(query);
    Line("file.open.read-overlapped",
         Opened(OpenDevice(path, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED)));
    std::wstring upper = path;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    Line("file.open.upper-case-path", Opened(OpenDevice(upper, 0)));
    Line("file.open.unknown-hid-path",
         Opened(OpenDevice(L"\\\\?\\hid#vid_0000&pid_0000#0&0000&0&0000#"
                           L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
                           0)));
    Line("file.open.missing-folder", Opened(OpenDevice(L"C:\\probe-no-such-folder\\file.txt", 0)));
    Line("file.open.empty-path", Opened(OpenDevice(L"", 0)));
    Line("file.open.bad-disposition",
         Opened(CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, 0, 0, nullptr)));
    HANDLE exclusive = OpenDevice(path, GENERIC_READ, 0, /*share=*/0);
    Line("file.open.after-exclusive-reader",
         std::string(exclusive != INVALID_HANDLE_VALUE ? "" : "(no exclusive) ") +
             Opened(OpenDevice(path, GENERIC_READ)) + ", query " + Opened(OpenDevice(path, 0)));
    CloseHandle(exclusive);
}

struct Read {
    Read() { overlapped.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr); }
    ~Read() { CloseHandle(overlapped.hEvent); }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;
    std::string Start(HANDLE file, DWORD length) {
        return Outcome(ReadFile(file, buffer, length, nullptr, &overlapped));
    }
    // Cancellation and closing may complete the read a little later.
    bool WaitDone() const {
        return WaitForSingleObject(overlapped.hEvent, kEndMs) == WAIT_OBJECT_0;
    }
    std::string Signalled() const {
        return "event " + std::string(WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0
                                          ? "set"
                                          : "reset");
    }
    std::string Status() const {
        return "Internal " + Hex(overlapped.Internal) + " InternalHigh " +
               Num(static_cast<long long>(overlapped.InternalHigh));
    }
    std::string Result(HANDLE file, BOOL wait) {
        DWORD bytes = 99;
        const std::string outcome = Outcome(GetOverlappedResult(file, &overlapped, &bytes, wait));
        return outcome + " bytes " + Num(bytes);
    }
    OVERLAPPED overlapped{};
    BYTE buffer[kRoom];
};

void ProbeOverlappedReads(const std::wstring& path, DWORD inputLength) {
    HANDLE query = OpenDevice(path, 0, FILE_FLAG_OVERLAPPED);
    Read denied;
    Line("read.query-handle", denied.Start(query, inputLength));
    CloseHandle(query);

    HANDLE file = OpenDevice(path, GENERIC_READ, FILE_FLAG_OVERLAPPED);
    Read shortRead;
    Line("read.short-buffer", shortRead.Start(file, inputLength - 1));

    Read read;
    const std::string started = read.Start(file, inputLength);
    Line("read.pending", started + ", " + read.Signalled() + ", completed " +
                             YesNo(HasOverlappedIoCompleted(&read.overlapped)) + ", " +
                             read.Status());
    Line("read.pending.result-no-wait", read.Result(file, FALSE));
    Read second;
    Line("read.second-pending", second.Start(file, inputLength));
    const std::string cancelled = Outcome(CancelIoEx(file, &read.overlapped));
    const bool done = read.WaitDone();
    Line("read.cancel-one", cancelled + ", completes " + YesNo(done) + ", " + read.Status() +
                                ", other still pending " +
                                YesNo(!HasOverlappedIoCompleted(&second.overlapped)));
    Line("read.cancel-one.result", read.Result(file, FALSE));
    const std::string all = Outcome(CancelIoEx(file, nullptr));
    const bool secondDone = second.WaitDone();
    Line("read.cancel-all", all + ", completes " + YesNo(secondDone) + ", " + second.Status());
    Line("read.cancel-nothing-pending", Outcome(CancelIoEx(file, nullptr)));

    Read orphan;
    const std::string pending = orphan.Start(file, inputLength);
    const std::string closed = Outcome(CloseHandle(file));
    const bool orphanDone = orphan.WaitDone();
    Line("read.close-while-pending", pending + ", close " + closed + ", completes " +
                                         YesNo(orphanDone) + ", " + orphan.Status());
    Line("read.close-while-pending.result", orphan.Result(file, FALSE));
}

struct SyncRead {
    HANDLE file;
    bool withOverlapped;
    HANDLE reading;
    std::string outcome;
};

DWORD WINAPI RunSyncRead(LPVOID parameter) {
    auto* c = static_cast<SyncRead*>(parameter);
    BYTE buffer[kRoom];
    DWORD bytes = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetEvent(c->reading);
    const BOOL ok =
        ReadFile(c->file, buffer, sizeof buffer, &bytes, c->withOverlapped ? &overlapped : nullptr);
    c->outcome = Outcome(ok);
    CloseHandle(overlapped.hEvent);
    return 0;
}

// A handle opened without FILE_FLAG_OVERLAPPED reads synchronously, whatever
// the call passes.
void ProbeSynchronousReads(const std::wstring& path) {
    for (bool withOverlapped : {true, false}) {
        SyncRead c{OpenDevice(path, GENERIC_READ),
                   withOverlapped,
                   CreateEventW(nullptr, TRUE, FALSE, nullptr),
                   {}};
        HANDLE thread = CreateThread(nullptr, 0, RunSyncRead, &c, 0, nullptr);
        WaitForSingleObject(c.reading, INFINITE);
        const bool blocked = WaitForSingleObject(thread, kBlockedMs) == WAIT_TIMEOUT;
        // Retried: on a busy machine the read may not have reached the device yet.
        std::string cancel;
        for (DWORD waited = 0; waited < kEndMs; waited += kRetryMs) {
            cancel = Outcome(CancelIoEx(c.file, nullptr));
            if (cancel == "TRUE" || WaitForSingleObject(thread, kRetryMs) == WAIT_OBJECT_0)
                break;
        }
        const bool ended = WaitForSingleObject(thread, kEndMs) == WAIT_OBJECT_0;
        CloseHandle(c.reading);
        Line(withOverlapped ? "read.sync-handle.with-overlapped" : "read.sync-handle.no-overlapped",
             "blocks " + YesNo(blocked) + ", cancel " + cancel + ", read ended " + YesNo(ended) +
                 (ended ? " " + c.outcome : std::string()));
        if (ended) {
            CloseHandle(c.file);
            CloseHandle(thread);
        }
    }
}

void ProbeWrites(const std::wstring& path) {
    HANDLE file = OpenDevice(path, GENERIC_WRITE);
    BYTE report[kRoom] = {};
    DWORD written = 77;
    SetLastError(kPlantedError);
    const std::string outcome = Outcome(WriteFile(file, report, 2, &written, nullptr));
    Line("write.no-output-report", outcome + " written " + Num(written));
    CloseHandle(file);
}

}  // namespace

void ProbeHidFiles() {
    const std::wstring mouse = StockDevicePath(kMouseUsage);
    Line("stock.mouse", YesNo(!mouse.empty()));
    if (mouse.empty())
        return;
    ProbeOpens(mouse);
    HANDLE query = OpenDevice(mouse, 0);
    PHIDP_PREPARSED_DATA parsed = nullptr;
    HIDP_CAPS caps{};
    HidD_GetPreparsedData(query, &parsed);
    HidP_GetCaps(parsed, &caps);
    HidD_FreePreparsedData(parsed);
    CloseHandle(query);
    ProbeOverlappedReads(mouse, caps.InputReportByteLength);
    ProbeSynchronousReads(mouse);
    ProbeWrites(mouse);
}

}  // namespace probe
