/* The control channel between tests and the virtual phone driver: a named control device
   with two buffered IOCTLs. Plain C, shared by the driver and the Windows test programs. */
#ifndef VPHONE_CONTROL_PROTOCOL_H
#define VPHONE_CONTROL_PROTOCOL_H

#define VPHONE_MAX_REPORT_BYTES 8
#define VPHONE_OUTPUT_LOG_LENGTH 32

#define VPHONE_CTL_CODE(function) \
    CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Input: the raw bytes of one input report, report ID first. Completes a read that the HID
   class driver holds, or queues the report for its next read. Fails with
   STATUS_DEVICE_NOT_CONNECTED while no phone is started. */
#define IOCTL_VPHONE_INJECT_INPUT VPHONE_CTL_CODE(0x800)

/* Output: one VPHONE_STATUS snapshot. Reading it changes nothing. */
#define IOCTL_VPHONE_QUERY_STATUS VPHONE_CTL_CODE(0x801)

/* An output report keeps its ID apart: data holds what follows it. An injected input report
   is kept as injected: data starts with its ID. */
typedef struct VPHONE_REPORT {
    unsigned long sequence; /* 1 for the first output report the driver received, and so on */
    unsigned char reportId;
    unsigned char length; /* bytes used in data */
    unsigned char data[VPHONE_MAX_REPORT_BYTES];
    unsigned short reserved;
} VPHONE_REPORT;

typedef struct VPHONE_STATUS {
    unsigned long present;         /* a phone is started and not removed */
    unsigned long startCount;      /* phones started since the driver was loaded */
    unsigned long heldReads;       /* reads of the HID class driver waiting for input */
    unsigned long queuedInputs;    /* injected reports waiting for a read */
    unsigned long outputsReceived; /* output reports received since the driver was loaded */
    /* Handles that programs hold open on the present phone; overlapped ones are readers
       (query and write handles are opened synchronous). The HID class driver drops input
       reports while no handle is open, so tests wait for a reader before they press. */
    unsigned long openHandles;
    unsigned long overlappedHandles;
    /* Reads that programs issued on a phone since the driver was loaded. A reader that has
       finished with a report issues its next read, so the count grows once it is done. */
    unsigned long programReads;
    /* The process and thread that issued the latest of those reads, 0 before the first: the
       reader thread a test can wait on when the phone goes. (A handle left open on a removed
       phone cannot be counted: Wine sends no close request for it once the device is gone.) */
    unsigned long lastReaderProcessId;
    unsigned long lastReaderThreadId;
    VPHONE_REPORT lastInput; /* the latest injected report of the present phone */
    /* The most recent output reports, oldest first; entry count is
       min(outputsReceived, VPHONE_OUTPUT_LOG_LENGTH). */
    VPHONE_REPORT outputs[VPHONE_OUTPUT_LOG_LENGTH];
} VPHONE_STATUS;

#endif
