// Malformed and random descriptors: the parser refuses or accepts them, never
// misbehaves, and what it accepts the report routines handle.
#include <gtest/gtest.h>

#include "hid/descriptor_parser.h"
#include "hid_test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ParserRobustness, MalformedDescriptorsAreRefused) {
    struct Row {
        const char* name;
        Bytes descriptor;
    };
    const Row rows[] = {
        {"truncated item", {0x05, 0x01, 0x09, 0x02, 0xA1}},
        {"unterminated collection", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}},
        {"end without collection", {0xC0}},
        {"main item outside a collection", {0x75, 0x08, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02}},
        {"report ID 0", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x00, 0xC0}},
        {"pop without push", {0xB4}},
        {"report too long",
         {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x20, 0x96, 0xFF, 0xFF, 0x09, 0x01, 0x81, 0x02,
          0xC0}},
        {"field wider than 32 bits",
         {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x21, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02,
          0xC0}},
    };
    for (const Row& row : rows) {
        const auto result = simdesk::hid::ParseReportDescriptor(row.descriptor);
        EXPECT_FALSE(result.error.empty()) << row.name;
        EXPECT_TRUE(result.collections.empty()) << row.name;
    }
}

// Random item streams built from real prefixes, so that many of them parse.
Bytes RandomDescriptor(std::uint32_t& seed) {
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    static const std::uint8_t kPrefixes[] = {0x05, 0x09, 0x15, 0x25, 0x35, 0x45, 0x75, 0x95,
                                             0x85, 0x19, 0x29, 0x81, 0x91, 0xB1, 0xA1, 0xC0,
                                             0x26, 0x16, 0x0A, 0xA4, 0xB4, 0x27};
    Bytes bytes = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01};
    const std::uint32_t items = next() % 24;
    for (std::uint32_t i = 0; i < items; ++i) {
        const std::uint8_t prefix = kPrefixes[next() % sizeof kPrefixes];
        bytes.push_back(prefix);
        static const int kSizes[] = {0, 1, 2, 4};
        for (int b = 0; b < kSizes[prefix & 3]; ++b)
            bytes.push_back(static_cast<std::uint8_t>(prefix == 0x75 ? next() % 20 : next()));
    }
    bytes.push_back(0xC0);
    return bytes;
}

TEST(ParserRobustness, RandomDescriptorsParseOrFailCleanly) {
    std::uint32_t seed = 12345;
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        const Bytes descriptor = RandomDescriptor(seed);
        hidtest::Preparsed data = hidtest::ParseCollection(descriptor);
        if (!data)
            continue;
        ++parsed;
        HIDP_CAPS caps{};
        ASSERT_EQ(HidP_GetCaps(data.get(), &caps), HIDP_STATUS_SUCCESS);
        const USHORT lengths[] = {caps.InputReportByteLength, caps.OutputReportByteLength,
                                  caps.FeatureReportByteLength};
        for (int type = 0; type < 3; ++type) {
            if (lengths[type] == 0)
                continue;
            Bytes report(lengths[type], 0xFF);
            std::vector<USAGE> usages(
                HidP_MaxUsageListLength(static_cast<HIDP_REPORT_TYPE>(type), 0, data.get()) + 1);
            for (USAGE page : {0x01, 0x09, 0x0B}) {
                ULONG length = static_cast<ULONG>(usages.size());
                const NTSTATUS status = HidP_GetUsages(
                    static_cast<HIDP_REPORT_TYPE>(type), page, 0, usages.data(), &length,
                    data.get(), reinterpret_cast<PCHAR>(report.data()), lengths[type]);
                if (status == HIDP_STATUS_SUCCESS) {
                    EXPECT_LE(length, usages.size()) << "round " << round;
                }
                LONG value = 0;
                HidP_GetScaledUsageValue(static_cast<HIDP_REPORT_TYPE>(type), page, 0, 0x30, &value,
                                         data.get(), reinterpret_cast<PCHAR>(report.data()),
                                         lengths[type]);
                USAGE usage = 0x30;
                ULONG one = 1;
                HidP_SetUsages(static_cast<HIDP_REPORT_TYPE>(type), page, 0, &usage, &one,
                               data.get(), reinterpret_cast<PCHAR>(report.data()), lengths[type]);
            }
        }
    }
    EXPECT_GT(parsed, 100) << "the generator should reach the report routines";
}

}  // namespace
