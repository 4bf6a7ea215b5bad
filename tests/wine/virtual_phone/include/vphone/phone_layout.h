/* What the virtual phone looks like from outside: identity, device instance, report layout.
   Plain C so that the kernel driver and the Windows test programs share one definition. */
#ifndef VPHONE_PHONE_LAYOUT_H
#define VPHONE_PHONE_LAYOUT_H

#include "phone_collection.h"

#define VPHONE_VENDOR_ID 0xF1CE
#define VPHONE_PRODUCT_ID 0x0B5D
#define VPHONE_VERSION 0x0100

/* A root device named like the phone's USB telephony collection, so that Wine's HID class
   driver derives the interface path hid#vid_f1ce&pid_0b5d&mi_03&col02#0001#{...}. */
#define VPHONE_HARDWARE_ID L"ROOT\\VID_F1CE&PID_0B5D&MI_03&Col02"
#define VPHONE_INSTANCE_ID VPHONE_HARDWARE_ID L"\\0001"
/* The interface path SetupAPI lists for it. */
#define VPHONE_LISTED_PATH \
    L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col02#0001#{4d1e55b2-f16f-11cf-88cb-001111000030}"
#define VPHONE_SERVICE_NAME L"vphone"
#define VPHONE_CONTROL_DEVICE_NAME L"\\Device\\VirtualPhoneControl"
#define VPHONE_CONTROL_LINK_NAME L"\\DosDevices\\VirtualPhoneControl"
#define VPHONE_CONTROL_WIN32_PATH L"\\\\.\\VirtualPhoneControl"

/* Reports as the phone's telephony collection declares them: report ID, then one byte. */
#define VPHONE_INPUT_REPORT_ID PHONE_INPUT_REPORT_ID
#define VPHONE_INPUT_REPORT_LENGTH 2
#define VPHONE_INPUT_BIT_MUTE PHONE_INPUT_BIT_MUTE
#define VPHONE_INPUT_BIT_HOOK PHONE_INPUT_BIT_HOOK
#define VPHONE_INPUT_BIT_BUTTON7 PHONE_INPUT_BIT_BUTTON7
#define VPHONE_INPUT_BIT_BUTTON8 PHONE_INPUT_BIT_BUTTON8
#define VPHONE_INPUT_BIT_BUTTON9 PHONE_INPUT_BIT_BUTTON9

#define VPHONE_OUTPUT_REPORT_ID PHONE_LED_REPORT_ID
#define VPHONE_OUTPUT_REPORT_LENGTH 2
#define VPHONE_LED_BIT_OFF_HOOK PHONE_LED_BIT_OFF_HOOK
#define VPHONE_LED_BIT_RING PHONE_LED_BIT_RING
#define VPHONE_LED_BIT_MUTE PHONE_LED_BIT_MUTE

#define VPHONE_USAGE_PAGE_TELEPHONY 0x0B
#define VPHONE_USAGE_PAGE_BUTTON 0x09
#define VPHONE_USAGE_PAGE_LED 0x08
#define VPHONE_USAGE_PHONE 0x01
#define VPHONE_USAGE_HOOK_SWITCH 0x20
#define VPHONE_USAGE_PHONE_MUTE 0x2F
#define VPHONE_USAGE_BUTTON7 0x07
#define VPHONE_USAGE_BUTTON8 0x08
#define VPHONE_USAGE_BUTTON9 0x09
#define VPHONE_USAGE_LED_MUTE 0x09
#define VPHONE_USAGE_LED_OFF_HOOK 0x17
#define VPHONE_USAGE_LED_RING 0x18
#define VPHONE_USAGE_LED_HOLD 0x20
#define VPHONE_USAGE_LED_MICROPHONE 0x21

#endif
