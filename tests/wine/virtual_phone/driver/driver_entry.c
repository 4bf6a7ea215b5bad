/* Entry points of the virtual phone: registration with the HID class driver, PnP, and the
   routing that lets the control device live beside HID devices in one driver. */
#include "phone_device.h"
#include "vphone/phone_layout.h"

DRIVER_STATE g_driver;

/* HidRegisterMinidriver replaces every dispatch routine with the class driver's own; these
   are kept so that requests for HID devices still reach it while the control device's are
   answered here. */
static PDRIVER_DISPATCH g_classDispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];
static PDRIVER_UNLOAD g_classUnload;

static PHONE_DEVICE* PhoneOf(PDEVICE_OBJECT fdo) {
    return (PHONE_DEVICE*)((PHID_DEVICE_EXTENSION)fdo->DeviceExtension)->MiniDeviceExtension;
}

NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI SignalCompletion(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    (void)device;
    (void)irp;
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/* IoForwardIrpSynchronously is a stub in Wine 8 that aborts the driver host. */
static NTSTATUS ForwardAndWait(PDEVICE_OBJECT lower, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalCompletion, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    return irp->IoStatus.Status;
}

static NTSTATUS PassDown(PDEVICE_OBJECT lower, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

static NTSTATUS NTAPI PhonePnp(PDEVICE_OBJECT fdo, PIRP irp) {
    PHONE_DEVICE* phone = PhoneOf(fdo);
    NTSTATUS status;

    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
        case IRP_MN_START_DEVICE:
            status = ForwardAndWait(phone->lowerDevice, irp);
            /* The root enumerator's PDO has no resources to start. */
            if (status == STATUS_NOT_SUPPORTED)
                status = STATUS_SUCCESS;
            if (NT_SUCCESS(status))
                PhoneStarted(phone);
            return CompleteIrp(irp, status, irp->IoStatus.Information);
        case IRP_MN_SURPRISE_REMOVAL:
        case IRP_MN_REMOVE_DEVICE:
        case IRP_MN_STOP_DEVICE:
            /* Held reads must end here, or the class driver waits for them forever. */
            PhoneRemoved(phone);
            irp->IoStatus.Status = STATUS_SUCCESS;
            return PassDown(phone->lowerDevice, irp);
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
            irp->IoStatus.Status = STATUS_SUCCESS;
            return PassDown(phone->lowerDevice, irp);
        default:
            return PassDown(phone->lowerDevice, irp);
    }
}

static NTSTATUS NTAPI PhonePower(PDEVICE_OBJECT fdo, PIRP irp) {
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(PhoneOf(fdo)->lowerDevice, irp);
}

static NTSTATUS NTAPI PhoneAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo) {
    PHONE_DEVICE* phone = PhoneOf(fdo);
    (void)driver;
    RtlZeroMemory(phone, sizeof(*phone));
    phone->lowerDevice = ((PHID_DEVICE_EXTENSION)fdo->DeviceExtension)->NextDeviceObject;
    InitializeListHead(&phone->heldReads);
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI RouteRequest(PDEVICE_OBJECT device, PIRP irp) {
    if (device == g_driver.controlDevice)
        return ControlDispatch(device, irp);
    PDRIVER_DISPATCH classRoutine =
        g_classDispatch[IoGetCurrentIrpStackLocation(irp)->MajorFunction];
    if (!classRoutine)
        return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);

    /* Read before the call: the IRP may be gone once the class driver has completed it. */
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const UCHAR major = stack->MajorFunction;
    PFILE_OBJECT file = stack->FileObject;
    const BOOLEAN overlapped =
        major == IRP_MJ_CREATE && !(stack->Parameters.Create.Options &
                                    (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT));

    if (major == IRP_MJ_READ)
        CountProgramRead();
    NTSTATUS status = classRoutine(device, irp);
    if (major == IRP_MJ_CREATE && NT_SUCCESS(status) && status != STATUS_PENDING)
        TrackCreate(file, overlapped);
    else if (major == IRP_MJ_CLOSE) /* Wine 8 sends no IRP_MJ_CLEANUP */
        TrackClose(file);
    return status;
}

static void DeleteControlDevice(void) {
    if (!g_driver.controlDevice)
        return;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, VPHONE_CONTROL_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(g_driver.controlDevice);
    g_driver.controlDevice = NULL;
}

static VOID NTAPI PhoneUnload(PDRIVER_OBJECT driver) {
    DeleteControlDevice();
    if (g_classUnload)
        g_classUnload(driver);
}

static NTSTATUS CreateControlDevice(PDRIVER_OBJECT driver) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    PDEVICE_OBJECT control;
    RtlInitUnicodeString(&name, VPHONE_CONTROL_DEVICE_NAME);
    RtlInitUnicodeString(&link, VPHONE_CONTROL_LINK_NAME);
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control);
        return status;
    }
    control->Flags |= DO_BUFFERED_IO;
    control->Flags &= ~DO_DEVICE_INITIALIZING;
    g_driver.controlDevice = control;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    KeInitializeSpinLock(&g_driver.lock);

    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = PhoneInternalIoctl;
    driver->MajorFunction[IRP_MJ_PNP] = PhonePnp;
    driver->MajorFunction[IRP_MJ_POWER] = PhonePower;
    driver->DriverExtension->AddDevice = PhoneAddDevice;
    driver->DriverUnload = NULL;

    HID_MINIDRIVER_REGISTRATION registration;
    RtlZeroMemory(&registration, sizeof(registration));
    registration.Revision = HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(PHONE_DEVICE);
    registration.DevicesArePolled = FALSE;
    NTSTATUS status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status))
        return status;

    for (ULONG major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
        g_classDispatch[major] = driver->MajorFunction[major];
        driver->MajorFunction[major] = RouteRequest;
    }
    g_classUnload = driver->DriverUnload;
    driver->DriverUnload = PhoneUnload;

    return CreateControlDevice(driver);
}
