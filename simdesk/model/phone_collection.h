/* The phone's telephony collection, the one both worlds serve: the simulated
   desktop's phone wraps it in the device's other collections, the virtual phone
   under Wine serves it alone (Wine 8 does not split top-level collections).
   Plain C, so that the virtual phone's kernel driver builds from it too. */
#ifndef PHONE_COLLECTION_H
#define PHONE_COLLECTION_H

#define PHONE_INPUT_REPORT_ID 0x01
#define PHONE_LED_REPORT_ID 0x02

/* Input report: the report ID, then one byte of one-bit fields. */
#define PHONE_INPUT_BIT_MUTE 0x01
#define PHONE_INPUT_BIT_HOOK 0x02
#define PHONE_INPUT_BIT_BUTTON7 0x04
#define PHONE_INPUT_BIT_BUTTON8 0x08
#define PHONE_INPUT_BIT_BUTTON9 0x10

/* LED report: the report ID, then one bit per LED in the order declared. */
#define PHONE_LED_BIT_MUTE 0x01
#define PHONE_LED_BIT_OFF_HOOK 0x02
#define PHONE_LED_BIT_RING 0x04
#define PHONE_LED_BIT_HOLD 0x08
#define PHONE_LED_BIT_MICROPHONE 0x10

/* clang-format off */

/* Collection (Phone) and its input report. One main item per input usage
   keeps the parser's cap order Phone Mute, Hook Switch, Buttons. */
#define PHONE_TELEPHONY_INPUT_ITEMS                                         \
    0x05, 0x0B,                   /* Usage Page (Telephony) */              \
    0x09, 0x01,                   /* Usage (Phone) */                       \
    0xA1, 0x01,                   /* Collection (Application) */            \
    0x85, PHONE_INPUT_REPORT_ID,  /*   Report ID */                         \
    0x15, 0x00, 0x25, 0x01,       /*   Logical Minimum (0), Maximum (1) */  \
    0x75, 0x01, 0x95, 0x01,       /*   Report Size (1), Count (1) */        \
    0x09, 0x2F, 0x81, 0x06,       /*   Phone Mute: Input (Data,Var,Rel) */  \
    0x09, 0x20, 0x81, 0x22,       /*   Hook Switch: Input (Data,Var,Abs,NoPref) */ \
    0x05, 0x09, 0x19, 0x07, 0x29, 0x09, /* Usage Page (Button) 7 to 9 */    \
    0x95, 0x03, 0x81, 0x02,       /*   Input (Data,Var,Abs) */              \
    0x95, 0x03, 0x81, 0x03        /*   Input (Const): padding */

/* The LED report: Mute, Off-Hook, Ring, Hold, Microphone. */
#define PHONE_TELEPHONY_LED_REPORT                                          \
    0x85, PHONE_LED_REPORT_ID,    /*   Report ID */                         \
    0x05, 0x08,                   /*   Usage Page (LED) */                  \
    0x09, 0x09, 0x09, 0x17, 0x09, 0x18, 0x09, 0x20, 0x09, 0x21,             \
    0x95, 0x05, 0x91, 0x22,       /*   Output (Data,Var,Abs,NoPref) */      \
    0x95, 0x03, 0x91, 0x03        /*   Output (Const): padding */

#define PHONE_TELEPHONY_END 0xC0  /* End Collection */

#define PHONE_TELEPHONY_COLLECTION \
    PHONE_TELEPHONY_INPUT_ITEMS, PHONE_TELEPHONY_LED_REPORT, PHONE_TELEPHONY_END

/* clang-format on */

#endif
