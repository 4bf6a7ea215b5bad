/* The phone's telephony collection, served alone: Wine 8 does not split top-level
   collections, so a second collection would hide this one behind its usage. */
#include "phone_collection.h"
#include "phone_device.h"
#include "vphone/phone_layout.h"

const UCHAR g_reportDescriptor[] = {PHONE_TELEPHONY_COLLECTION};
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
