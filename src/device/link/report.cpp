#include "device/link/report.h"

#include <algorithm>

namespace velqa::link {

const char* result_meaning(int code) {
    switch (code) {
        case result::Success:
            return "success";
        case result::ReadFailed:
            return "link not open, or the read failed, timed out or was cancelled";
        case result::WriteFailed:
            return "the write failed, timed out or was cancelled";
        case result::ReceiverAnswered:
            return "the receiver answered for the mouse (not linked) or the check value was wrong";
        case result::StatusFF:
            return "the device rejected the request (status 0xFF)";
        case result::StatusFE:
            return "the device reported an offset or length out of range (status 0xFE)";
        case result::BadBank:
            return "bad bank argument (not 0)";
        case result::BadArgument:
            return "bad argument (short buffer, slot beyond 255 or offset beyond 16 bits)";
        default:
            return "unknown result";
    }
}

uint16_t sum16(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint16_t>(sum & 0xFFFF);
}

uint16_t crc16_modbus(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ b);
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = (crc & 1u) != 0;
            crc = static_cast<uint16_t>(crc >> 1);
            if (lsb)
                crc = static_cast<uint16_t>(crc ^ 0xA001);
        }
    }
    return crc;
}

uint16_t report_sum_check(const Report& report) {
    return sum16(std::span<const uint8_t>(report).subspan(byte_pos::Code));
}

uint16_t report_crc_check(const Report& report) {
    return crc16_modbus(std::span<const uint8_t>(report).subspan(
        byte_pos::Code, ReceiverReportEnd - byte_pos::Code));
}

void put_check(Report& report, uint16_t check) {
    report[byte_pos::CheckLow] = static_cast<uint8_t>(check & 0xFF);
    report[byte_pos::CheckHigh] = static_cast<uint8_t>(check >> 8);
}

Report make_request(uint8_t command, uint8_t length, uint16_t offset,
                    std::span<const uint8_t> payload) {
    Report r{};
    r[byte_pos::Id] = ReportId;
    r[byte_pos::Code] = command;
    r[byte_pos::Length] = length;
    r[byte_pos::OffsetLow] = static_cast<uint8_t>(offset & 0xFF);
    r[byte_pos::OffsetHigh] = static_cast<uint8_t>(offset >> 8);
    const size_t n = std::min(payload.size(), WiredPayload);
    std::copy_n(payload.begin(), n, r.begin() + PayloadOffset);
    put_check(r, report_sum_check(r));
    return r;
}

}  // namespace velqa::link
