/* Which handles programs hold on the phone, and how often they read: lets a test wait until a
   program is ready to receive input, or done with it, instead of guessing with a delay. */
#include "phone_device.h"

void TrackCreate(PFILE_OBJECT file, BOOLEAN overlapped) {
    if (!file)
        return;
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    for (ULONG i = 0; i < VPHONE_TRACKED_HANDLES; ++i) {
        OPEN_HANDLE* entry = &g_driver.handles[i];
        if (!entry->file) {
            entry->file = file;
            entry->generation = g_driver.status.startCount;
            entry->overlapped = overlapped;
            break;
        }
    }
    KeReleaseSpinLock(&g_driver.lock, irql);
}

void TrackClose(PFILE_OBJECT file) {
    if (!file)
        return;
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    for (ULONG i = 0; i < VPHONE_TRACKED_HANDLES; ++i) {
        if (g_driver.handles[i].file == file) {
            RtlZeroMemory(&g_driver.handles[i], sizeof(g_driver.handles[i]));
            break;
        }
    }
    KeReleaseSpinLock(&g_driver.lock, irql);
}

/* Wine sends no close request for a handle closed after its phone was removed, so the entries
   of earlier phones would fill the table for good; they no longer count anyway. */
void ForgetEarlierHandles(void) {
    for (ULONG i = 0; i < VPHONE_TRACKED_HANDLES; ++i) {
        if (g_driver.handles[i].generation != g_driver.status.startCount)
            RtlZeroMemory(&g_driver.handles[i], sizeof(g_driver.handles[i]));
    }
}

void CountOpenHandles(VPHONE_STATUS* status) {
    status->openHandles = 0;
    status->overlappedHandles = 0;
    if (!g_driver.phone)
        return;
    /* Handles left open on a removed phone belong to an earlier generation. */
    for (ULONG i = 0; i < VPHONE_TRACKED_HANDLES; ++i) {
        const OPEN_HANDLE* entry = &g_driver.handles[i];
        if (entry->file && entry->generation == g_driver.status.startCount) {
            ++status->openHandles;
            if (entry->overlapped)
                ++status->overlappedHandles;
        }
    }
}

/* A top-level driver's dispatch routine runs in the requesting thread, so the current ids are
   the reader's (Wine's ntoskrnl gives the client's ids while it dispatches, as Windows does). */
void CountProgramRead(void) {
    const ULONG process = HandleToULong(PsGetCurrentProcessId());
    const ULONG thread = HandleToULong(PsGetCurrentThreadId());
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    ++g_driver.status.programReads;
    g_driver.status.lastReaderProcessId = process;
    g_driver.status.lastReaderThreadId = thread;
    KeReleaseSpinLock(&g_driver.lock, irql);
}
