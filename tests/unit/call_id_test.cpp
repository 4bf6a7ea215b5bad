#include <gtest/gtest.h>

#include <string>

#include "bridge/host_channel.h"
#include "bridge/notification_handler.h"

namespace {

struct CallIdCase {
    int line;
    const WCHAR* notification;
    const char* expectedId;
};

TEST(ExtractCallId, TakesTheTextBetweenCallAndStatusWithItsBlank) {
    const CallIdCase cases[] = {
        {__LINE__, L"CALL 1234 STATUS RINGING", "1234 "},
        {__LINE__, L"CALL 98 STATUS ROUTING", "98 "},
        {__LINE__, L"CALL 1234 STATUS RINGING and INPROGRESS", "1234 "},
        // No "CALL" at the start: the whole head is the id.
        {__LINE__, L"XCALL 7 STATUS RINGING", "XCALL 7 "},
        {__LINE__, L"STATUS RINGING", ""},
        // "CALL" with nothing after it: a negative count gives an empty id.
        {__LINE__, L"CALLSTATUS RINGING", ""},
        {__LINE__, L"CALL STATUS RINGING", ""},
        {__LINE__, L"CALL x STATUS RINGING", "x "},
        // Units without an 8-bit form.
        {__LINE__, L"CALL \u0416 STATUS RINGING", "? "},
    };
    for (const CallIdCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        EXPECT_STREQ(ExtractCallId(c.notification).data(), c.expectedId);
    }
}

// Type notifications name their call the same way, before "TYPE": the id
// matches the one taken from the call's ringing notification.
TEST(CallIdBefore, NamesTheCallOfATypeNotification) {
    const CallIdCase cases[] = {
        {__LINE__, L"CALL 1234 TYPE INCOMING_P2P", "1234 "},
        {__LINE__, L"CALL 98 TYPE OUTGOING_P2P", "98 "},
        {__LINE__, L"TYPE INCOMING_P2P", ""},
        {__LINE__, L"XCALL 7 TYPE INCOMING_P2P", "XCALL 7 "},
    };
    for (const CallIdCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        EXPECT_STREQ(CallIdBefore(c.notification, L"TYPE").data(), c.expectedId);
    }
}

TEST(ExtractCallId, CutsIdsThatDoNotFitTheSlot) {
    const std::wstring notification = L"CALL " + std::wstring(500, L'9') + L" STATUS RINGING";
    const CallIdText id = ExtractCallId(notification.c_str());
    EXPECT_EQ(std::string(id.data()), std::string(kCallIdSlotSize - 1, '9'));
}

TEST(ComposeCommand, JoinsPartsAndNeverOverflows) {
    CommandBuffer buffer;
    ComposeCommand(buffer, {"GET CALL ", "1234 ", "TYPE"});
    EXPECT_STREQ(buffer.data(), "GET CALL 1234 TYPE");

    ComposeCommand(buffer, {"ALTER CALL ", "1234 ", " START_VIDEO_SEND"});
    EXPECT_STREQ(buffer.data(), "ALTER CALL 1234  START_VIDEO_SEND");

    const std::string huge(3000, 'x');
    ComposeCommand(buffer, {"SET CALL ", huge, " STATUS FINISHED"});
    const std::string composed(buffer.data());
    EXPECT_EQ(composed.size(), kCommandBufferSize - 1);
    EXPECT_EQ(composed.substr(0, 9), "SET CALL ");
}

}  // namespace
