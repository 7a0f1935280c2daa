// Reply handling: arbitrary bytes as the mouse's reply to a request (classification, status,
// the record codecs) and as a request to the firmware model, whose replies must stay well-formed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "device/link/codecs.h"
#include "device/link/command_channel.h"
#include "device/link/report.h"
#include "firmware.h"

using namespace velqa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    link::Report request{};
    link::Report reply{};
    const size_t first = std::min(size, link::ReportSize);
    std::copy_n(data, first, request.begin());
    if (size > first)
        std::copy_n(data + first, std::min(size - first, link::ReportSize), reply.begin());
    const uint8_t flags = size > 0 ? data[size - 1] : 0;

    const auto verdict = link::classify_reply(request, reply, flags & 1, flags & 2);
    if (verdict == link::ReplyVerdict::Matches && reply[3] != request[3])
        std::abort();
    const int status = link::judge_status(reply);
    if (status != 1 && status != -102 && status != -103)
        std::abort();

    link::DeviceInfoBlock info;
    std::copy_n(reply.begin(), info.bytes.size(), info.bytes.begin());
    const auto decoded_info = link::decode_device_info(info);
    if (link::encode_device_info(decoded_info, info).bytes != info.bytes)
        std::abort();

    link::MouseSettingsRecord record;
    std::copy_n(reply.begin(), 64, record.bytes.begin());
    std::copy_n(request.begin(), 10, record.bytes.begin() + 64);
    const std::span<const uint8_t> effects(request.data(), flags % 16);
    const auto decoded = link::decode_mouse_settings(record, effects, 3);
    const auto rebuilt =
        link::encode_mouse_settings(link::values_from_decoded(decoded), record, effects);
    if (rebuilt.bytes[73] != record.bytes[73])
        std::abort();

    sim::Firmware fw(sim::FirmwareOptions{0x3395, static_cast<uint8_t>(flags % 32), 2, 50});
    for (sim::Link l : {sim::Link::Cable, sim::Link::Receiver}) {
        const auto out = fw.handle(l, std::span<const uint8_t>(data, first));
        if (!out.reply)
            continue;
        const link::Report& r = *out.reply;
        if (r[0] != link::ReportId)
            std::abort();
        if (l == sim::Link::Receiver &&
            std::any_of(r.begin() + link::ReceiverReportEnd, r.end(), [](uint8_t b) { return b; }))
            std::abort();
    }
    return 0;
}
