/* Report traffic of the virtual phone: what the HID class driver asks of the device, and
   the control device through which tests press its buttons and read its LEDs. */
#include "phone_device.h"
#include "vphone/phone_layout.h"

static void CopyReport(VPHONE_REPORT* report, UCHAR reportId, const UCHAR* data, ULONG length) {
    RtlZeroMemory(report, sizeof(*report));
    if (length > VPHONE_MAX_REPORT_BYTES)
        length = VPHONE_MAX_REPORT_BYTES;
    report->reportId = reportId;
    report->length = (UCHAR)length;
    RtlCopyMemory(report->data, data, length);
}

/* Called with the lock held. The held read's cancel routine may already be running: it then
   owns the IRP, and the emptied list entry makes its removal harmless. */
static PIRP TakeHeldRead(PHONE_DEVICE* phone) {
    while (!IsListEmpty(&phone->heldReads)) {
        PLIST_ENTRY entry = RemoveHeadList(&phone->heldReads);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        --phone->heldReadCount;
        if (IoSetCancelRoutine(irp, NULL))
            return irp;
        InitializeListHead(entry);
    }
    return NULL;
}

static VOID NTAPI CancelHeldRead(PDEVICE_OBJECT fdo, PIRP irp) {
    PHONE_DEVICE* phone =
        (PHONE_DEVICE*)((PHID_DEVICE_EXTENSION)fdo->DeviceExtension)->MiniDeviceExtension;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    PLIST_ENTRY entry = &irp->Tail.Overlay.ListEntry;
    if (!IsListEmpty(entry)) {
        RemoveEntryList(entry);
        --phone->heldReadCount;
    }
    KeReleaseSpinLock(&g_driver.lock, irql);
    CompleteIrp(irp, STATUS_CANCELLED, 0);
}

/* Copies a report, ID first, into the buffer of a read; the ID is the data's first byte. */
static NTSTATUS CompleteRead(PIRP irp, const VPHONE_REPORT* report) {
    ULONG capacity =
        IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
    if (capacity < report->length)
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, report->data, report->length);
    return CompleteIrp(irp, STATUS_SUCCESS, report->length);
}

static NTSTATUS ReadReport(PHONE_DEVICE* phone, PIRP irp) {
    VPHONE_REPORT report;
    BOOLEAN haveReport = FALSE;
    NTSTATUS status = STATUS_PENDING;
    KIRQL irql;

    KeAcquireSpinLock(&g_driver.lock, &irql);
    if (phone->removed || !phone->started) {
        status = STATUS_DEVICE_NOT_CONNECTED;
    } else if (phone->queuedCount) {
        report = phone->queuedInputs[phone->queuedHead];
        phone->queuedHead = (phone->queuedHead + 1) % VPHONE_INPUT_QUEUE_LENGTH;
        --phone->queuedCount;
        haveReport = TRUE;
    } else {
        IoMarkIrpPending(irp);
        InsertTailList(&phone->heldReads, &irp->Tail.Overlay.ListEntry);
        ++phone->heldReadCount;
        IoSetCancelRoutine(irp, CancelHeldRead);
        if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
            RemoveEntryList(&irp->Tail.Overlay.ListEntry);
            --phone->heldReadCount;
            status = STATUS_CANCELLED;
        }
    }
    KeReleaseSpinLock(&g_driver.lock, irql);

    if (haveReport)
        return CompleteRead(irp, &report);
    if (status == STATUS_CANCELLED) {
        CompleteIrp(irp, status, 0);
        return STATUS_PENDING; /* the IRP was marked pending */
    }
    if (status != STATUS_PENDING)
        return CompleteIrp(irp, status, 0);
    return STATUS_PENDING;
}

/* Wine hands the transfer packet in UserBuffer, as Windows does; Type3InputBuffer is the
   fallback for a class driver that treats it as input. */
static PHID_XFER_PACKET TransferPacket(PIRP irp) {
    if (irp->UserBuffer)
        return (PHID_XFER_PACKET)irp->UserBuffer;
    return (PHID_XFER_PACKET)IoGetCurrentIrpStackLocation(irp)
        ->Parameters.DeviceIoControl.Type3InputBuffer;
}

/* Records an output report. The packet's buffer starts with the report ID when the report
   has one; the log keeps the ID apart from the data. */
static NTSTATUS WriteReport(PIRP irp) {
    PHID_XFER_PACKET packet = TransferPacket(irp);
    if (!packet || !packet->reportBuffer || packet->reportBufferLen == 0)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);

    const UCHAR* data = packet->reportBuffer;
    ULONG length = packet->reportBufferLen;
    if (packet->reportId != 0 && data[0] == packet->reportId) {
        ++data;
        --length;
    }

    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    VPHONE_STATUS* status = &g_driver.status;
    ULONG sequence = ++status->outputsReceived;
    ULONG used = sequence < VPHONE_OUTPUT_LOG_LENGTH ? sequence : VPHONE_OUTPUT_LOG_LENGTH;
    if (sequence > VPHONE_OUTPUT_LOG_LENGTH)
        RtlMoveMemory(&status->outputs[0], &status->outputs[1],
                      sizeof(status->outputs[0]) * (VPHONE_OUTPUT_LOG_LENGTH - 1));
    CopyReport(&status->outputs[used - 1], packet->reportId, data, length);
    status->outputs[used - 1].sequence = sequence;
    KeReleaseSpinLock(&g_driver.lock, irql);

    return CompleteIrp(irp, STATUS_SUCCESS, packet->reportBufferLen);
}

static NTSTATUS CopyOut(PIRP irp, const void* data, ULONG length) {
    ULONG capacity =
        IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
    if (capacity < length)
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
    RtlCopyMemory(irp->UserBuffer, data, length);
    return CompleteIrp(irp, STATUS_SUCCESS, length);
}

static NTSTATUS GetString(PIRP irp) {
    /* The string id is the low word of the value passed as the input pointer. */
    ULONG_PTR value =
        (ULONG_PTR)IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.Type3InputBuffer;
    const WCHAR* text = PhoneString((ULONG)(value & 0xFFFF));
    if (!text)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    ULONG bytes = sizeof(WCHAR);
    for (const WCHAR* end = text; *end; ++end)
        bytes += sizeof(WCHAR);
    return CopyOut(irp, text, bytes);
}

NTSTATUS NTAPI PhoneInternalIoctl(PDEVICE_OBJECT fdo, PIRP irp) {
    PHONE_DEVICE* phone =
        (PHONE_DEVICE*)((PHID_DEVICE_EXTENSION)fdo->DeviceExtension)->MiniDeviceExtension;

    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            HID_DESCRIPTOR descriptor;
            RtlZeroMemory(&descriptor, sizeof(descriptor));
            descriptor.bLength = sizeof(descriptor);
            descriptor.bDescriptorType = HID_HID_DESCRIPTOR_TYPE;
            descriptor.bcdHID = 0x0111;
            descriptor.bNumDescriptors = 1;
            descriptor.DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
            descriptor.DescriptorList[0].wReportLength = g_reportDescriptorLength;
            return CopyOut(irp, &descriptor, sizeof(descriptor));
        }
        case IOCTL_HID_GET_REPORT_DESCRIPTOR:
            return CopyOut(irp, g_reportDescriptor, g_reportDescriptorLength);
        case IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            HID_DEVICE_ATTRIBUTES attributes;
            RtlZeroMemory(&attributes, sizeof(attributes));
            attributes.Size = sizeof(attributes);
            attributes.VendorID = VPHONE_VENDOR_ID;
            attributes.ProductID = VPHONE_PRODUCT_ID;
            attributes.VersionNumber = VPHONE_VERSION;
            return CopyOut(irp, &attributes, sizeof(attributes));
        }
        case IOCTL_HID_GET_STRING:
            return GetString(irp);
        case IOCTL_HID_READ_REPORT:
            return ReadReport(phone, irp);
        case IOCTL_HID_WRITE_REPORT:
        case IOCTL_HID_SET_OUTPUT_REPORT:
            return WriteReport(irp);
        case IOCTL_HID_ACTIVATE_DEVICE:
        case IOCTL_HID_DEACTIVATE_DEVICE:
            return CompleteIrp(irp, STATUS_SUCCESS, 0);
        default:
            return CompleteIrp(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

void PhoneStarted(PHONE_DEVICE* phone) {
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    phone->started = TRUE;
    phone->removed = FALSE;
    phone->queuedCount = 0;
    g_driver.phone = phone;
    ++g_driver.status.startCount;
    ForgetEarlierHandles();
    RtlZeroMemory(&g_driver.status.lastInput, sizeof(g_driver.status.lastInput));
    KeReleaseSpinLock(&g_driver.lock, irql);
}

void PhoneRemoved(PHONE_DEVICE* phone) {
    LIST_ENTRY failed;
    InitializeListHead(&failed);
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    phone->removed = TRUE;
    phone->queuedCount = 0;
    if (g_driver.phone == phone)
        g_driver.phone = NULL;
    for (PIRP irp; (irp = TakeHeldRead(phone)) != NULL;)
        InsertTailList(&failed, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_driver.lock, irql);

    while (!IsListEmpty(&failed)) {
        PLIST_ENTRY entry = RemoveHeadList(&failed);
        CompleteIrp(CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry),
                    STATUS_DEVICE_NOT_CONNECTED, 0);
    }
}

static NTSTATUS InjectInput(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG length = stack->Parameters.DeviceIoControl.InputBufferLength;
    if (length == 0 || length > VPHONE_MAX_REPORT_BYTES)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);

    VPHONE_REPORT report;
    const UCHAR* bytes = (const UCHAR*)irp->AssociatedIrp.SystemBuffer;
    CopyReport(&report, bytes[0], bytes, length);

    NTSTATUS status = STATUS_SUCCESS;
    PIRP read = NULL;
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    PHONE_DEVICE* phone = g_driver.phone;
    if (!phone) {
        status = STATUS_DEVICE_NOT_CONNECTED;
    } else if ((read = TakeHeldRead(phone)) == NULL) {
        if (phone->queuedCount == VPHONE_INPUT_QUEUE_LENGTH) {
            status = STATUS_DEVICE_BUSY; /* refuse rather than lose a report silently */
        } else {
            ULONG tail = (phone->queuedHead + phone->queuedCount) % VPHONE_INPUT_QUEUE_LENGTH;
            phone->queuedInputs[tail] = report;
            ++phone->queuedCount;
        }
    }
    if (NT_SUCCESS(status))
        g_driver.status.lastInput = report;
    KeReleaseSpinLock(&g_driver.lock, irql);

    if (read)
        CompleteRead(read, &report);
    return CompleteIrp(irp, status, 0);
}

static NTSTATUS QueryStatus(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(VPHONE_STATUS))
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);

    VPHONE_STATUS* out = (VPHONE_STATUS*)irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;
    KeAcquireSpinLock(&g_driver.lock, &irql);
    *out = g_driver.status;
    PHONE_DEVICE* phone = g_driver.phone;
    out->present = phone != NULL;
    out->heldReads = phone ? phone->heldReadCount : 0;
    out->queuedInputs = phone ? phone->queuedCount : 0;
    CountOpenHandles(out);
    KeReleaseSpinLock(&g_driver.lock, irql);
    return CompleteIrp(irp, STATUS_SUCCESS, sizeof(VPHONE_STATUS));
}

NTSTATUS ControlDispatch(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MajorFunction) {
        case IRP_MJ_CREATE:
        case IRP_MJ_CLEANUP:
        case IRP_MJ_CLOSE:
            return CompleteIrp(irp, STATUS_SUCCESS, 0);
        case IRP_MJ_DEVICE_CONTROL:
            switch (stack->Parameters.DeviceIoControl.IoControlCode) {
                case IOCTL_VPHONE_INJECT_INPUT:
                    return InjectInput(irp);
                case IOCTL_VPHONE_QUERY_STATUS:
                    return QueryStatus(irp);
                default:
                    return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
            }
        default:
            return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}
