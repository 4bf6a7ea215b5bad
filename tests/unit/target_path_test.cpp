#include <gtest/gtest.h>

#include "hid/hot_plug.h"

namespace {

struct PathCase {
    int line;
    const WCHAR* path;
    bool matches;
};

TEST(MatchTargetPath, RecognisesThePhonesTelephonyCollection) {
    const PathCase cases[] = {
        // The spelling of device-interface notifications.
        {__LINE__,
         L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         true},
        // SetupAPI's lower-case spelling: the product digits read "0b5d".
        {__LINE__,
         L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col02#7&1a2b3c4d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         false},
        // Lower-case vendor digits alone are accepted.
        {__LINE__,
         L"\\\\?\\HID#VID_f1ce&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         true},
        {__LINE__,
         L"\\\\?\\hid#vid_f1ce&pid_0B5D&mi_03&col02#7&1a2b3c4d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         true},
        {__LINE__, L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&COL02#7&1a2b3c4d&0&0001#{guid}", true},
        // Other collections of the phone.
        {__LINE__,
         L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col01#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         false},
        {__LINE__,
         L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col03#7&1a2b3c4d&0&0002#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         false},
        // "0001" must appear somewhere.
        {__LINE__, L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0003#{guid}", false},
        // Other devices.
        {__LINE__,
         L"\\\\?\\HID#VID_046D&PID_C534&MI_01&Col02#7&2f8e4a4c&0&0001#{4d1e55b2-f16f-11cf-88cb-"
         L"001111000030}",
         false},
        {__LINE__, L"\\\\?\\HID#VID_F1CE&PID_0B5E&MI_03&Col02#7&1a2b3c4d&0&0001#{guid}", false},
        // A path without "&" never matches.
        {__LINE__, L"\\\\?\\HID#VID_F1CE_PID_0B5D_Col02_0001", false},
        // Not a HID path.
        {__LINE__, L"\\\\?\\USB#VID_F1CE&PID_0B5D&MI_03&Col02#0001", false},
        {__LINE__, L"", false},
        // Without the VID_ marker the whole head is the vendor.
        {__LINE__, L"F1CE&PID_0B5D&Col02 hid 0001", true},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        EXPECT_EQ(MatchTargetPath(c.path), c.matches);
    }
}

}  // namespace
