#include <gtest/gtest.h>

#include <string_view>

#include "device/link/report.h"

namespace velqa::link {
namespace {

std::span<const uint8_t> text(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(LinkChecks, SumOverAbc) {
    EXPECT_EQ(sum16(text("abc")), 0x0126);
}

TEST(LinkChecks, SumKeepsLow16Bits) {
    std::vector<uint8_t> bytes(300, 0xFF);  // 300 * 255 = 76500 = 0x12AD4
    EXPECT_EQ(sum16(bytes), 0x2AD4);
}

TEST(LinkChecks, CrcModbusCheckValue) {
    EXPECT_EQ(crc16_modbus(text("123456789")), 0x4B37);
    EXPECT_EQ(crc16_modbus({}), 0xFFFF);
}

TEST(LinkChecks, ReportSumCoversBytes3To63Only) {
    Report r{};
    r[3] = 0x61;
    r[4] = 0x62;
    r[5] = 0x63;
    EXPECT_EQ(report_sum_check(r), 0x0126);
    r[0] = 0x04;
    r[1] = 0x55;
    r[2] = 0x77;
    EXPECT_EQ(report_sum_check(r), 0x0126);
    r[63] = 1;
    EXPECT_EQ(report_sum_check(r), 0x0127);
}

TEST(LinkChecks, ReportCrcCoversBytes3To31Only) {
    Report r{};
    for (size_t i = 0; i < 9; ++i)
        r[3 + i] = static_cast<uint8_t>('1' + i);
    EXPECT_EQ(report_crc_check(r), crc16_modbus(std::span<const uint8_t>(r).subspan(3, 29)));
    const uint16_t before = report_crc_check(r);
    r[32] = 0x99;  // beyond the receiver's bytes
    r[1] = 0x12;
    EXPECT_EQ(report_crc_check(r), before);
    r[31] = 0x01;
    EXPECT_NE(report_crc_check(r), before);
}

TEST(LinkRequest, FieldsPaddingAndSumCheck) {
    const uint8_t payload[] = {9, 8, 7};
    const Report r = make_request(0x06, 3, 0x1234, payload);
    EXPECT_EQ(r[0], 0x04);
    EXPECT_EQ(r[3], 0x06);
    EXPECT_EQ(r[4], 3);
    EXPECT_EQ(r[5], 0x34);
    EXPECT_EQ(r[6], 0x12);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[8], 9);
    EXPECT_EQ(r[10], 7);
    for (size_t i = 11; i < ReportSize; ++i)
        EXPECT_EQ(r[i], 0) << i;
    const uint16_t sum = 0x06 + 3 + 0x34 + 0x12 + 9 + 8 + 7;
    EXPECT_EQ(r[1], sum & 0xFF);
    EXPECT_EQ(r[2], sum >> 8);
}

TEST(LinkRequest, PayloadLongerThanOneReportIsCut) {
    std::vector<uint8_t> payload(80, 0xAB);
    const Report r = make_request(0x15, 56, 0, payload);
    EXPECT_EQ(r[63], 0xAB);
    EXPECT_EQ(report_sum_check(r), r[1] | (r[2] << 8));
}

TEST(LinkResult, EveryCodeHasAMeaning) {
    for (int code : {1, 0, -1, -101, -102, -103, -201, -202}) {
        EXPECT_STRNE(result_meaning(code), "unknown result") << code;
    }
    EXPECT_STREQ(result_meaning(42), "unknown result");
}

}  // namespace
}  // namespace velqa::link
