// The 64-byte command report, its check values, command codes and result codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velqa::link {

constexpr size_t ReportSize = 64;
constexpr uint8_t ReportId = 0x04;
// Bytes 8-63 carry the payload; on the receiver path only bytes 8-31 carry meaning.
constexpr size_t PayloadOffset = 8;
constexpr size_t WiredPayload = 56;
constexpr size_t ReceiverPayload = 24;
// The receiver's reports end at byte 31; its CRC covers bytes 3-31.
constexpr size_t ReceiverReportEnd = 32;

using Report = std::array<uint8_t, ReportSize>;

// Byte positions inside a report.
namespace byte_pos {
constexpr size_t Id = 0;
constexpr size_t CheckLow = 1;
constexpr size_t CheckHigh = 2;
constexpr size_t Code = 3;
constexpr size_t Length = 4;
constexpr size_t OffsetLow = 5;
constexpr size_t OffsetHigh = 6;
constexpr size_t Status = 7;
}  // namespace byte_pos

// Command codes understood by the device.
namespace code {
constexpr uint8_t BeginConfig = 0x01;
constexpr uint8_t EndConfig = 0x02;
constexpr uint8_t ReadDeviceInfo = 0x03;
constexpr uint8_t ReadSettings = 0x05;
constexpr uint8_t WriteSettings = 0x06;
constexpr uint8_t ReadKeyTable = 0x07;
constexpr uint8_t ReadKeyTableBank = 0x08;
constexpr uint8_t WriteKeyTable = 0x09;
constexpr uint8_t ReadIndexed = 0x0A;
constexpr uint8_t WriteIndexed = 0x0B;
constexpr uint8_t StreamLighting = 0x12;
constexpr uint8_t WriteMacroData = 0x15;
constexpr uint8_t WriteShootingData = 0x17;
constexpr uint8_t ReadMemory = 0x1A;
constexpr uint8_t ReadKeyTableThirds = 0x1B;
constexpr uint8_t LightingControlOn = 0x1C;
constexpr uint8_t WriteKeyTable2 = 0x27;
// Also the marker the receiver puts in byte 3 when it answers in place of the device.
constexpr uint8_t ReceiverPresence = 0xAA;
}  // namespace code

// Reply status bytes that mean failure.
constexpr uint8_t StatusUnknown = 0xFF;
constexpr uint8_t StatusOutOfRange = 0xFE;

// Result codes of every exchange and command.
namespace result {
constexpr int Success = 1;
constexpr int ReadFailed = 0;  // also: link not open
constexpr int WriteFailed = -1;
constexpr int ReceiverAnswered = -101;  // also: wrong CRC in the reply
constexpr int StatusFF = -102;
constexpr int StatusFE = -103;
constexpr int BadBank = -201;  // a non-zero bank argument, before any I/O
// A short buffer, an empty or oversized image, a slot beyond 255 or an offset beyond 16 bits:
// the caller's mistake, refused before any I/O.
constexpr int BadArgument = -202;
}  // namespace result

// A short English explanation of a result code, for command-line output.
const char* result_meaning(int code);

// Sum of the bytes as unsigned values, kept to 16 bits.
uint16_t sum16(std::span<const uint8_t> bytes);
// CRC-16/MODBUS: initial 0xFFFF, reflected polynomial 0xA001, no final XOR.
uint16_t crc16_modbus(std::span<const uint8_t> bytes);

// The sum check of a report: bytes 3-63.
uint16_t report_sum_check(const Report& report);
// The CRC check of a receiver report: bytes 3-31.
uint16_t report_crc_check(const Report& report);
// Writes a 16-bit check value into bytes 1 (low) and 2 (high).
void put_check(Report& report, uint16_t check);

// A request with ID, code, length and offset set, payload copied (at most 56 bytes; the rest
// is cut), and the sum check computed last.
Report make_request(uint8_t command, uint8_t length = 0, uint16_t offset = 0,
                    std::span<const uint8_t> payload = {});

}  // namespace velqa::link
