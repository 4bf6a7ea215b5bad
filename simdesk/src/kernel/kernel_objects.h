// Internal object model of the simulated kernel, shared by the layers above it
// (user, hid, peers). Not part of the Win32 surface the agent sees.
//
// All simulated state is guarded by one desktop-wide lock. Every blocking call
// waits on one condition variable with a predicate that is re-evaluated under
// the lock, which is what lets WaitUntilIdle() tell "nothing left to do" apart
// from "busy" without sleeps.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "simdesk/win32_types.h"

namespace simdesk {

// The one lock around every simulated object, queue and table.
std::mutex& DesktopMutex();
using DesktopGuard = std::unique_lock<std::mutex>;

// Wakes every waiter so that it re-evaluates its predicate. Call with the lock held
// after any change another thread might be waiting for.
void NotifyDesktopChanged();

// Blocks the calling thread until `ready()` holds or `timeoutMs` elapses
// (INFINITE: never). `ready` is evaluated with the lock held. Registers the wait
// so that WaitUntilIdle() can see this thread as idle while `ready()` is false.
// Returns true when `ready()` held, false on time-out.
bool WaitOnDesktop(DesktopGuard& lock, const std::function<bool()>& ready, DWORD timeoutMs);

// Base of every object a HANDLE can refer to. Called with the lock held.
struct KernelObject {
    virtual ~KernelObject() = default;
    // True when a wait on this object would be satisfied now.
    virtual bool IsSignaled() const { return false; }
    // The same for a wait by `threadId`; objects with an owner (mutexes) differ.
    // Wait predicates use this form since WaitUntilIdle evaluates them elsewhere.
    virtual bool IsSignaledFor(DWORD /*threadId*/) const { return IsSignaled(); }
    // A wait was satisfied by this object (auto-reset events reset here).
    virtual void OnWaitSatisfied() {}
    // The last HANDLE to this object was closed.
    virtual void OnLastHandleClosed() {}
    // What OpenHandleCounts() files its handles under.
    virtual const char* Kind() const = 0;
};

// Files opened with CreateFileW on a simulated device. Called with the lock held;
// overlapped operations complete through CompleteOverlapped().
struct FileObject : KernelObject {
    // Opened without FILE_FLAG_OVERLAPPED: every transfer is synchronous, even
    // one given an OVERLAPPED. Set by CreateFileW.
    bool synchronous = true;
    // Same contract as ReadFile/WriteFile: return TRUE on synchronous success,
    // FALSE with *error set (ERROR_IO_PENDING for a queued overlapped read).
    virtual BOOL Read(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
                      DWORD* error) = 0;
    virtual BOOL Write(const void* buffer, DWORD length, DWORD* bytesWritten,
                       OVERLAPPED* overlapped, DWORD* error) = 0;
    // CancelIoEx: cancel the pending operation matching `overlapped` (all when null).
    // Returns false when nothing was pending (ERROR_NOT_FOUND).
    virtual bool Cancel(const OVERLAPPED* overlapped) = 0;
    const char* Kind() const override { return "file"; }
};

// GetCurrentProcess()'s pseudo-handle, the same value as INVALID_HANDLE_VALUE:
// a wait on it lasts as long as the process, closing it does nothing.
inline HANDLE CurrentProcessHandle() {
    return INVALID_HANDLE_VALUE;
}

// Handle table. NewHandle takes a reference; CloseHandle drops it. Both may be
// called with or without the desktop lock (the table has a lock of its own).
HANDLE NewHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> ObjectFromHandle(HANDLE handle);
template <typename T>
std::shared_ptr<T> ObjectFromHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(ObjectFromHandle(handle));
}

// NTSTATUS values kept in OVERLAPPED::Internal, as Windows does.
inline constexpr ULONG_PTR kStatusSuccess = 0;
inline constexpr ULONG_PTR kStatusPending = 0x103;
inline constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
// A read still pending when its handle is closed ends with this (as Wine's
// class driver does).
inline constexpr ULONG_PTR kStatusDeletePending = 0xC0000056;
inline constexpr ULONG_PTR kStatusDeviceNotConnected = 0xC000009D;

// Marks an overlapped operation pending (Internal = STATUS_PENDING, event reset).
void BeginOverlapped(OVERLAPPED* overlapped);
// Completes it: sets Internal/InternalHigh and signals hEvent. Lock held.
void CompleteOverlapped(OVERLAPPED* overlapped, ULONG_PTR ntStatus, DWORD bytes);

// Opens simulated device files. A namespace returns null with *error set when the
// path is not its own (ERROR_FILE_NOT_FOUND) or cannot be opened. Called with the
// lock held, in registration order; the first other error than ERROR_FILE_NOT_FOUND
// ends the search.
//
// ReadFile/WriteFile always hand the FileObject an OVERLAPPED: the caller's, or
// for a call without one a kernel-owned record. On a synchronous handle the
// kernel waits for a pending completion, so a FileObject never blocks.
using FileNamespace = std::function<std::shared_ptr<FileObject>(
    std::wstring_view path, DWORD access, DWORD share, DWORD flags, DWORD* error)>;
void RegisterFileNamespace(FileNamespace opener);

// Last-error of the calling thread.
void SetLastErrorValue(DWORD error);

// Runs, with the lock held, when a registered thread ends (CreateThread threads
// and DesktopThread scopes); the user layer destroys the thread's windows here.
void AddThreadExitHook(std::function<void(DWORD threadId)> hook);

// Registers the calling thread with the desktop for WaitUntilIdle; returns false
// when it already was. UnregisterCurrentThread runs the exit hooks.
bool RegisterCurrentThread();
void UnregisterCurrentThread();

// Win32 error for an NTSTATUS kept in OVERLAPPED::Internal.
DWORD Win32ErrorFromStatus(ULONG_PTR ntStatus);

}  // namespace simdesk
