#include "device/model/notification_worker.h"

#include <algorithm>
#include <vector>

#include "platform/debug_output.h"

namespace velqa::model {
namespace {

using platform::StopEvent;

// After an unexpected read error the worker tries again this much later, not at once.
constexpr std::chrono::milliseconds ReadErrorRetry{100};

// The first usage of the first data record of the report just unpacked; 0 when there is none.
std::uint16_t event_code(const link::HidDevice& device, const std::vector<std::uint8_t>& report) {
    const auto& records = device.input_data();
    if (records.empty() || report.empty())
        return 0;
    const auto& first = records.front();
    if (!first.is_button || first.report_id != report[0] ||
        first.status != link::HidStatus::Success || first.usages.empty())
        return 0;
    return first.usages.front();
}

}  // namespace

MouseNotifications::MouseNotifications(link::CommandChannel& holder,
                                       const link::CommandChannel& commands, Handler handler)
    : MouseNotifications(holder, commands, std::move(handler), Kinds{}) {}

MouseNotifications::MouseNotifications(link::CommandChannel& holder,
                                       const link::CommandChannel& commands, Handler handler,
                                       Kinds kinds)
    : commands_(commands),
      handler_(std::move(handler)),
      kinds_(std::move(kinds)),
      wired_(NotifyLink::Wired, holder.wired(), holder.io_lock()),
      receiver_(NotifyLink::Receiver, holder.receiver(), holder.io_lock2()) {}

MouseNotifications::~MouseNotifications() {
    close_notification(kinds_.wired_type);
    close_notification(kinds_.receiver_type);
}

MouseNotifications::Interface* MouseNotifications::interface_of(int type) {
    return type == kinds_.wired_type      ? &wired_
           : type == kinds_.receiver_type ? &receiver_
                                          : nullptr;
}

const MouseNotifications::Interface* MouseNotifications::interface_of(int type) const {
    return type == kinds_.wired_type      ? &wired_
           : type == kinds_.receiver_type ? &receiver_
                                          : nullptr;
}

bool MouseNotifications::open_notification(const std::string& path, int type) {
    Interface* in = interface_of(type);
    if (!in)
        return false;
    bool opened = false;
    {
        std::lock_guard lock(in->lock);
        in->open = false;
        in->device.close();  // ends a read of the worker on the old node
        opened = in->device.open(path, true, true, true, false);
        if (opened) {
            ++in->opens;
            in->open = true;
        }
    }
    if (!in->worker.start([this, in](StopEvent& stop) { run(*in, stop); }))
        in->worker.stop_event().wake();
    return opened;
}

bool MouseNotifications::reopen_notification(const std::string& path, int type) {
    if (!interface_of(type))
        return false;
    close_notification(type);
    return open_notification(path, type);
}

void MouseNotifications::close_notification(int type) {
    Interface* in = interface_of(type);
    if (!in)
        return;
    // Closing is what ends a read blocked without a time-out; the worker, already told to stop,
    // touches the interface only under the lock and only while the flag is set.
    const auto close = [in] {
        std::lock_guard lock(in->lock);
        in->open = false;
        in->device.close();
    };
    in->worker.stop(platform::DefaultStopWait, close);
    close();
}

bool MouseNotifications::is_open(int type) const {
    const Interface* in = interface_of(type);
    return in && in->open.load();
}

bool MouseNotifications::worker_running(int type) const {
    const Interface* in = interface_of(type);
    return in && in->worker.running();
}

void MouseNotifications::run(Interface& in, StopEvent& stop) {
    const bool wired = in.link == NotifyLink::Wired;
    std::vector<std::uint8_t> report;
    // An open whose reads can give nothing more (hung up, closed under us): wait for the next.
    std::uint64_t spent_open = 0;
    for (;;) {
        const std::uint64_t seen = stop.wakes();
        if (stop.is_set())
            break;
        std::uint64_t open_number = 0;
        std::size_t length = 0;
        {
            std::lock_guard lock(in.lock);
            if (in.open && in.opens != spent_open) {
                open_number = in.opens;
                length = in.device.input_report_length();
            }
        }
        if (open_number == 0 || length == 0) {
            if (stop.wait(seen) == StopEvent::WaitResult::Set)
                break;
            continue;
        }
        report.assign(length, 0);
        std::size_t got = 0;
        if (in.device.read(report.data(), report.size(), &got, -1) == 0) {
            const link::HidFailure why = in.device.last_failure();
            if (stop.is_set())
                break;
            if (why == link::HidFailure::HungUp) {
                spent_open = open_number;
                platform::debug_output(wired ? "wired notification interface hung up"
                                             : "receiver notification interface hung up");
                if (handler_) {
                    NotificationEvent event;
                    event.link = in.link;
                    event.unplugged = true;
                    handler_(event);
                }
            } else if (why == link::HidFailure::Cancelled || why == link::HidFailure::NotOpen) {
                spent_open = open_number;  // closed or reopened: the lock check above decides
            } else if (stop.wait_for(ReadErrorRetry, seen) == StopEvent::WaitResult::Set) {
                break;
            }
            continue;
        }
        report.resize(std::min(got, report.size()));
        std::uint16_t code = 0;
        {
            std::lock_guard lock(in.lock);
            if (!in.open || in.opens != open_number)
                continue;  // the interface was closed meanwhile: the report is not ours to read
            in.device.unpack_input(report.data(), report.size());
            code = event_code(in.device, report);
        }
        platform::debug_output("接收到自动添加设备的同步信息要求  TEST");
        if (code == 0x401 || code == 0x402)
            platform::debug_output("接收到自动添加设备的同步信息要求");
        NotificationEvent event;
        event.link = in.link;
        event.code = code;
        const bool open = commands_.link_open() != 0;
        event.action = kinds_.decode ? kinds_.decode(code, wired, open)
                                     : decode_notification(code, wired, open);
        if (handler_ && event.action.kind != NotificationAction::Kind::None)
            handler_(event);
    }
    platform::debug_output(kinds_.stop_text);
}

}  // namespace velqa::model
