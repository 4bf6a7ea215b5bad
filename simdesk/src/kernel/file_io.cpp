// CreateFileW and the I/O calls, dispatched to the simulated devices' file objects.
#include <string_view>
#include <vector>

#include "kernel/jitter.h"
#include "kernel/kernel_objects.h"
#include "kernel/sync_objects.h"
#include "simdesk/faults.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

std::vector<FileNamespace>& Namespaces() {
    static auto* namespaces = new std::vector<FileNamespace>;
    return *namespaces;
}

constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001;

ULONG_PTR StatusFromWin32Error(DWORD error) {
    switch (error) {
        case ERROR_OPERATION_ABORTED:
            return kStatusCancelled;
        case ERROR_DEVICE_NOT_CONNECTED:
            return kStatusDeviceNotConnected;
        default:
            return kStatusUnsuccessful;
    }
}

// There is no file system: a path no device claims is missing, and so is its
// folder when it names one beyond the root.
DWORD MissingPathError(std::wstring_view path) {
    for (std::wstring_view prefix : {L"\\\\?\\", L"\\\\.\\"}) {
        if (path.starts_with(prefix)) {
            path.remove_prefix(prefix.size());
            break;
        }
    }
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        path.remove_prefix(3);
    return path.find(L'\\') == std::wstring_view::npos ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND;
}

using Transfer = BOOL (*)(FileObject&, void*, DWORD, DWORD*, OVERLAPPED*, DWORD*);

BOOL DoRead(FileObject& file, void* buffer, DWORD length, DWORD* done, OVERLAPPED* overlapped,
            DWORD* error) {
    return file.Read(buffer, length, done, overlapped, error);
}

BOOL DoWrite(FileObject& file, void* buffer, DWORD length, DWORD* done, OVERLAPPED* overlapped,
             DWORD* error) {
    return file.Write(buffer, length, done, overlapped, error);
}

// The common path of ReadFile and WriteFile. A call without an OVERLAPPED gets a
// kernel-owned one. On a handle opened without FILE_FLAG_OVERLAPPED the call
// waits here for a pending completion, with or without an OVERLAPPED, as
// Windows does: the caller's record and event are completed all the same.
BOOL RunTransfer(HANDLE file, void* buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped,
                 Transfer transfer) {
    if (transfer == DoWrite)
        JitterAt(HandOff::OutputWrite);
    DesktopGuard lock(DesktopMutex());
    auto object = ObjectFromHandleAs<FileObject>(file);
    if (!object) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    OVERLAPPED own{};
    OVERLAPPED* used = overlapped != nullptr ? overlapped : &own;
    BeginOverlapped(used);
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS;
    BOOL ok = transfer(*object, buffer, length, &count, used, &error);
    if (!ok && error == ERROR_IO_PENDING && (overlapped == nullptr || object->synchronous)) {
        WaitOnDesktop(
            lock, [used] { return used->Internal != kStatusPending; }, INFINITE);
        count = static_cast<DWORD>(used->InternalHigh);
        ok = used->Internal == kStatusSuccess;
        error = ok ? ERROR_SUCCESS : Win32ErrorFromStatus(used->Internal);
    }
    if (ok && overlapped != nullptr && overlapped->Internal == kStatusPending) {
        // A synchronous success on an overlapped call completes the record too.
        CompleteOverlapped(overlapped, kStatusSuccess, count);
    }
    if (!ok && error != ERROR_IO_PENDING && used->Internal == kStatusPending) {
        // Failed at once: nothing will complete the record later.
        used->Internal = StatusFromWin32Error(error);
    }
    if (done != nullptr)
        *done = ok ? count : 0;
    if (!ok)
        SetLastErrorValue(error);
    return ok;
}

}  // namespace

void RegisterFileNamespace(FileNamespace opener) {
    DesktopGuard lock(DesktopMutex());
    Namespaces().push_back(std::move(opener));
}

void BeginOverlapped(OVERLAPPED* overlapped) {
    overlapped->Internal = kStatusPending;
    overlapped->InternalHigh = 0;
    if (overlapped->hEvent != nullptr)
        SignalEventHandle(overlapped->hEvent, /*signaled=*/false);
}

void CompleteOverlapped(OVERLAPPED* overlapped, ULONG_PTR ntStatus, DWORD bytes) {
    overlapped->Internal = ntStatus;
    overlapped->InternalHigh = bytes;
    if (overlapped->hEvent != nullptr)
        SignalEventHandle(overlapped->hEvent, /*signaled=*/true);
    NotifyDesktopChanged();
}

DWORD Win32ErrorFromStatus(ULONG_PTR ntStatus) {
    switch (ntStatus) {
        case kStatusSuccess:
            return ERROR_SUCCESS;
        case kStatusPending:
            return ERROR_IO_INCOMPLETE;
        case kStatusCancelled:
            return ERROR_OPERATION_ABORTED;
        case kStatusDeviceNotConnected:
            return ERROR_DEVICE_NOT_CONNECTED;
        case kStatusDeletePending:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace simdesk

using namespace simdesk;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
    if (faults::Inject(faults::CreateFileCall(dwDesiredAccess), ERROR_FILE_NOT_FOUND))
        return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr || *lpFileName == L'\0') {
        SetLastErrorValue(lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DesktopGuard lock(DesktopMutex());
    for (const FileNamespace& opener : Namespaces()) {
        DWORD error = ERROR_FILE_NOT_FOUND;
        auto file = opener(lpFileName, dwDesiredAccess, dwShareMode, dwFlagsAndAttributes, &error);
        if (file) {
            file->synchronous = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) == 0;
            SetLastErrorValue(ERROR_SUCCESS);
            return NewHandle(std::move(file));
        }
        if (error != ERROR_FILE_NOT_FOUND) {
            SetLastErrorValue(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastErrorValue(MissingPathError(lpFileName));
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (faults::Inject(faults::Call::ReadFile, ERROR_DEVICE_NOT_CONNECTED))
        return FALSE;
    return RunTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped,
                       DoRead);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (faults::Inject(faults::Call::WriteFile, ERROR_DEVICE_NOT_CONNECTED))
        return FALSE;
    // The device only reads from the buffer; both share one signature.
    return RunTransfer(hFile, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite,
                       lpNumberOfBytesWritten, lpOverlapped, DoWrite);
}

BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    DesktopGuard lock(DesktopMutex());
    auto object = ObjectFromHandleAs<FileObject>(hFile);
    if (!object) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Cancel(lpOverlapped)) {
        SetLastErrorValue(ERROR_NOT_FOUND);
        return FALSE;
    }
    NotifyDesktopChanged();
    return TRUE;
}

// Like Windows, it reads the record: the handle matters only to a wait with
// no event, so a completed record is read even after its handle was closed.
BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    DesktopGuard lock(DesktopMutex());
    if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpOverlapped->Internal == kStatusPending) {
        if (!bWait) {
            SetLastErrorValue(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        if (lpOverlapped->hEvent == nullptr && !ObjectFromHandleAs<FileObject>(hFile)) {
            SetLastErrorValue(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        WaitOnDesktop(
            lock, [lpOverlapped] { return lpOverlapped->Internal != kStatusPending; }, INFINITE);
    }
    // Only an I/O that is over can be reported failed.
    if (faults::Inject(faults::Call::GetOverlappedResult, ERROR_DEVICE_NOT_CONNECTED))
        return FALSE;
    *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    if (lpOverlapped->Internal != kStatusSuccess) {
        SetLastErrorValue(Win32ErrorFromStatus(lpOverlapped->Internal));
        return FALSE;
    }
    return TRUE;
}
