/* State of the virtual phone driver and the routines its dispatch entry points share. */
#ifndef VPHONE_PHONE_DEVICE_H
#define VPHONE_PHONE_DEVICE_H

#include "hid_minidriver.h"
#include "vphone/control_protocol.h"

#define VPHONE_INPUT_QUEUE_LENGTH 16

/* One phone: the minidriver part of the FDO's device extension. */
typedef struct PHONE_DEVICE {
    PDEVICE_OBJECT lowerDevice;
    BOOLEAN started;
    BOOLEAN removed;
    LIST_ENTRY heldReads; /* IRP_MJ_INTERNAL_DEVICE_CONTROL reads waiting for input */
    ULONG heldReadCount;
    VPHONE_REPORT queuedInputs[VPHONE_INPUT_QUEUE_LENGTH]; /* injected before a read was held */
    ULONG queuedHead;
    ULONG queuedCount;
} PHONE_DEVICE;

#define VPHONE_TRACKED_HANDLES 64

/* One handle a program opened on a phone; generation is the startCount of that phone. */
typedef struct OPEN_HANDLE {
    PFILE_OBJECT file;
    ULONG generation;
    BOOLEAN overlapped;
} OPEN_HANDLE;

/* Everything shared between the HID side, the control device and PnP, under one lock. */
typedef struct DRIVER_STATE {
    KSPIN_LOCK lock;
    PHONE_DEVICE* phone; /* the started phone, or NULL */
    PDEVICE_OBJECT controlDevice;
    VPHONE_STATUS status;
    OPEN_HANDLE handles[VPHONE_TRACKED_HANDLES];
} DRIVER_STATE;

extern DRIVER_STATE g_driver;

extern const UCHAR g_reportDescriptor[];
extern const USHORT g_reportDescriptorLength;

/* Returns the device string for a HID string id, or NULL for an unknown id. */
const WCHAR* PhoneString(ULONG stringId);

NTSTATUS PhoneInternalIoctl(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ControlDispatch(PDEVICE_OBJECT device, PIRP irp);

/* PnP hooks: make a phone the present one, or withdraw it and fail its held reads. */
void PhoneStarted(PHONE_DEVICE* phone);
void PhoneRemoved(PHONE_DEVICE* phone);

/* Bookkeeping of the handles opened on phones, from the create and close requests that pass
   through to the HID class driver. CountOpenHandles runs with the lock held. */
void TrackCreate(PFILE_OBJECT file, BOOLEAN overlapped);
void TrackClose(PFILE_OBJECT file);
void CountOpenHandles(VPHONE_STATUS* status);
/* Called with the lock held when a phone starts. */
void ForgetEarlierHandles(void);
/* A program's read request reached a phone; called in the requesting thread. */
void CountProgramRead(void);

NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information);

#endif
