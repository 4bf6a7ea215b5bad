#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/host_channel.h"

namespace {

std::wstring Intake(const void* payload, DWORD byteCount) {
    COPYDATASTRUCT data{};
    data.cbData = byteCount;
    data.lpData = const_cast<void*>(payload);
    WCHAR text[kNotificationBufferSize];
    ReadNotificationText(&data, text);
    return text;
}

TEST(NotificationIntake, ConvertsTheTerminatedPayload) {
    const char payload[] = "CALL 1234 STATUS RINGING";
    EXPECT_EQ(Intake(payload, sizeof(payload)), L"CALL 1234 STATUS RINGING");
}

TEST(NotificationIntake, StopsAtTheFirstNul) {
    const char payload[] = "CALL 1 STATUS MISSED\0CALL 2 STATUS RINGING";
    EXPECT_EQ(Intake(payload, sizeof(payload)), L"CALL 1 STATUS MISSED");
}

TEST(NotificationIntake, ReadsNoMoreThanTheSenderGave) {
    // No terminator within cbData: only cbData bytes are read.
    const char payload[] = "CALL 55 STATUS FINISHEDXXXXXXXX";
    EXPECT_EQ(Intake(payload, 23), L"CALL 55 STATUS FINISHED");
}

TEST(NotificationIntake, CutsLongPayloadsToTheBuffer) {
    std::vector<char> payload(5000, 'A');
    payload.back() = '\0';
    const std::wstring text = Intake(payload.data(), static_cast<DWORD>(payload.size()));
    EXPECT_EQ(text, std::wstring(kNotificationBufferSize - 1, L'A'));

    // Unterminated and long.
    std::vector<char> unterminated(kNotificationBufferSize * 2, 'B');
    EXPECT_EQ(Intake(unterminated.data(), static_cast<DWORD>(unterminated.size())),
              std::wstring(kNotificationBufferSize - 1, L'B'));
}

TEST(NotificationIntake, EmptyOrMissingPayloadsGiveEmptyText) {
    const char payload[] = "CALL 1 STATUS RINGING";
    EXPECT_EQ(Intake(payload, 0), L"");
    EXPECT_EQ(Intake(nullptr, 40), L"");
    EXPECT_EQ(Intake("", 1), L"");
    WCHAR text[kNotificationBufferSize] = L"stale";
    ReadNotificationText(nullptr, text);
    EXPECT_EQ(std::wstring(text), L"");
}

}  // namespace
