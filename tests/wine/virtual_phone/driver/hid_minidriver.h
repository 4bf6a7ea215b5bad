/* The HID minidriver interface, declared from Microsoft's public documentation because
   MinGW ships no ddk/hidport.h. */
#ifndef VPHONE_HID_MINIDRIVER_H
#define VPHONE_HID_MINIDRIVER_H

/* <ddk/wdm.h> defines these two static inline after MinGW's intrinsics declared them
   extern inline; clang then emits an external copy in every file and the link fails on
   the duplicates. The driver uses neither: keep only wdm.h's static ones. */
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>
#include <hidusage.h>
#include <ddk/hidclass.h>

/* MinGW numbers these 0 to 5; the real codes are HID_CTL_CODE values. */
#undef IOCTL_HID_GET_DEVICE_DESCRIPTOR
#undef IOCTL_HID_GET_REPORT_DESCRIPTOR
#undef IOCTL_HID_READ_REPORT
#undef IOCTL_HID_WRITE_REPORT
#undef IOCTL_HID_GET_STRING
#undef IOCTL_HID_GET_DEVICE_ATTRIBUTES
#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define IOCTL_HID_READ_REPORT HID_CTL_CODE(2)
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE(3)
#define IOCTL_HID_GET_STRING HID_CTL_CODE(4)
#define IOCTL_HID_ACTIVATE_DEVICE HID_CTL_CODE(7)
#define IOCTL_HID_DEACTIVATE_DEVICE HID_CTL_CODE(8)
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)
#define IOCTL_HID_SEND_IDLE_NOTIFICATION_REQUEST HID_CTL_CODE(10)

/* String ids of IOCTL_HID_GET_STRING: Windows sends 14, 15, 16; Wine 8 sends 1, 2, 3. */
#define VPHONE_STRING_ID_MANUFACTURER 14
#define VPHONE_STRING_ID_PRODUCT 15
#define VPHONE_STRING_ID_SERIAL_NUMBER 16
#define VPHONE_WINE_STRING_ID_MANUFACTURER 1
#define VPHONE_WINE_STRING_ID_PRODUCT 2
#define VPHONE_WINE_STRING_ID_SERIAL_NUMBER 3

#define HID_HID_DESCRIPTOR_TYPE 0x21
#define HID_REPORT_DESCRIPTOR_TYPE 0x22

typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION, *PHID_MINIDRIVER_REGISTRATION;

/* What the HID class driver puts at the start of the FDO's device extension. */
typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION, *PHID_DEVICE_EXTENSION;

/* Byte-packed as in the HID descriptor on the wire; the pragma rather than <pshpack1.h>,
   whose unbalanced push clang reports. */
#pragma pack(push, 1)
typedef struct _HID_DESCRIPTOR_DESC_LIST {
    UCHAR bReportType;
    USHORT wReportLength;
} HID_DESCRIPTOR_DESC_LIST;

typedef struct _HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    HID_DESCRIPTOR_DESC_LIST DescriptorList[1];
} HID_DESCRIPTOR, *PHID_DESCRIPTOR;
#pragma pack(pop)

typedef struct _HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES, *PHID_DEVICE_ATTRIBUTES;

NTSTATUS NTAPI HidRegisterMinidriver(PHID_MINIDRIVER_REGISTRATION registration);

/* From ntddk.h, which MinGW's ddk/wdm.h cannot be included beside. */
HANDLE NTAPI PsGetCurrentProcessId(VOID);
HANDLE NTAPI PsGetCurrentThreadId(VOID);

#endif
