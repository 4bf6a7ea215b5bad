/* The phone's telephony collection, served alone: Wine 8 does not split top-level
   collections, so a second collection would hide this one behind its usage. */
#include "phone_device.h"
#include "vphone/phone_layout.h"

/* clang-format off */
const UCHAR g_reportDescriptor[] = {
    0x05, VPHONE_USAGE_PAGE_TELEPHONY, /* Usage Page (Telephony) */
    0x09, VPHONE_USAGE_HANDSET,        /* Usage (Handset) */
    0xA1, 0x01,                        /* Collection (Application) */
    0x85, VPHONE_INPUT_REPORT_ID,      /*   Report ID */
    0x15, 0x00,                        /*   Logical Minimum (0) */
    0x25, 0x01,                        /*   Logical Maximum (1) */
    0x75, 0x01,                        /*   Report Size (1) */
    0x95, 0x01,                        /*   Report Count (1) */
    /* One main item per usage keeps the button caps in declaration order. */
    0x09, VPHONE_USAGE_PHONE_MUTE,  /*   Usage (Phone Mute) */
    0x81, 0x02,                     /*   Input (Data,Var,Abs) */
    0x09, VPHONE_USAGE_HOOK_SWITCH, /*   Usage (Hook Switch) */
    0x81, 0x02,                     /*   Input (Data,Var,Abs) */
    /* Buttons 7 to 9 in one main item, as the phone declares them. */
    0x05, VPHONE_USAGE_PAGE_BUTTON, /*   Usage Page (Button) */
    0x19, VPHONE_USAGE_BUTTON7,     /*   Usage Minimum (Button 7) */
    0x29, VPHONE_USAGE_BUTTON9,     /*   Usage Maximum (Button 9) */
    0x95, 0x03,                     /*   Report Count (3) */
    0x81, 0x02,                     /*   Input (Data,Var,Abs) */
    0x95, 0x03,                     /*   Report Count (3) */
    0x81, 0x03,                     /*   Input (Const,Var,Abs): padding */
    0x85, VPHONE_OUTPUT_REPORT_ID,  /*   Report ID */
    0x05, VPHONE_USAGE_PAGE_LED,    /*   Usage Page (LED) */
    0x09, VPHONE_USAGE_LED_OFF_HOOK, /*   Usage (Off-Hook) */
    0x09, VPHONE_USAGE_LED_RING,    /*   Usage (Ring) */
    0x09, VPHONE_USAGE_LED_MUTE,    /*   Usage (Mute) */
    0x95, 0x03,                     /*   Report Count (3) */
    0x91, 0x02,                     /*   Output (Data,Var,Abs) */
    0x95, 0x05,                     /*   Report Count (5) */
    0x91, 0x03,                     /*   Output (Const,Var,Abs): padding */
    0xC0,                           /* End Collection */
};
/* clang-format on */
const USHORT g_reportDescriptorLength = sizeof(g_reportDescriptor);

const WCHAR* PhoneString(ULONG stringId) {
    switch (stringId) {
        case VPHONE_STRING_ID_MANUFACTURER:
        case VPHONE_WINE_STRING_ID_MANUFACTURER:
            return L"Quillon test bench";
        case VPHONE_STRING_ID_PRODUCT:
        case VPHONE_WINE_STRING_ID_PRODUCT:
            return L"Virtual telephony phone";
        case VPHONE_STRING_ID_SERIAL_NUMBER:
        case VPHONE_WINE_STRING_ID_SERIAL_NUMBER:
            return L"0001";
        default:
            return NULL;
    }
}
