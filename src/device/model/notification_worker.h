// The mouse's notification interfaces (the consumer-control collection of the cable and of the
// receiver) and one worker per link that reads the events the mouse reports about changes made
// on the mouse itself (DPI button, onboard slot, a setting changed by the firmware).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/link/command_channel.h"
#include "device/model/mouse_settings.h"
#include "platform/worker_thread.h"

namespace velqa::model {

// Device types the device manager hands notification interfaces over for.
constexpr int WiredMouseType = 2;
constexpr int ReceiverMouseType = 6;

enum class NotifyLink { Wired, Receiver };

// One thing a notification worker tells its page.
struct NotificationEvent {
    NotifyLink link = NotifyLink::Wired;
    std::uint16_t code = 0;  // the event code read (0 for a hang-up)
    NotificationAction action;
    // The interface hung up (the device was unplugged); its worker idles until it is reopened.
    bool unplugged = false;
};

class MouseNotifications {
  public:
    // Called on a worker thread for every report whose action is not None, and once when an
    // interface hangs up. It must not block for long and must not call back into this object:
    // the page posts the event to its window thread and applies it there.
    using Handler = std::function<void(const NotificationEvent&)>;

    // `holder` is the page's notification channel: its wired() and receiver() interfaces are
    // the two notification interfaces, its io_lock() and io_lock2() their locks; no command is
    // sent through it. `commands` is the page's command channel, whose link-open flag gates the
    // slot and stage events. Both must outlive this object.
    MouseNotifications(link::CommandChannel& holder, const link::CommandChannel& commands,
                       Handler handler);
    // What another device class reads on the same kind of interfaces: its two device types,
    // how it decodes an event code, and the text its workers write as they end.
    struct Kinds {
        int wired_type = WiredMouseType;
        int receiver_type = ReceiverMouseType;
        std::function<NotificationAction(std::uint16_t event, bool wired, bool link_open)> decode;
        const char* stop_text = "MS 设备同步线程设定退出";
    };
    MouseNotifications(link::CommandChannel& holder, const link::CommandChannel& commands,
                       Handler handler, Kinds kinds);
    // Closes both interfaces, stopping their workers.
    ~MouseNotifications();
    MouseNotifications(const MouseNotifications&) = delete;
    MouseNotifications& operator=(const MouseNotifications&) = delete;

    // Type 2: the wired interface, type 6: the receiver's. Under the interface's lock it is
    // closed and `path` opened (read and write, overlapped, shared); then the link's worker is
    // started, or woken when it runs. False for another type (nothing happens) or when the open
    // fails: the interface then stays closed, HidDevice::last_failure() says why, and the
    // worker idles until a later open. Window thread.
    bool open_notification(const std::string& path, int type);
    // close_notification(type), then open_notification(path, type).
    bool reopen_notification(const std::string& path, int type);
    // Stops the link's worker and closes the interface under its lock; closing ends the read
    // the worker is blocked in, so this takes milliseconds. "MS 设备同步线程设定退出" is written
    // as the worker ends. Nothing for another type. Window thread.
    void close_notification(int type);

    bool is_open(int type) const;
    bool worker_running(int type) const;

  private:
    struct Interface {
        Interface(NotifyLink l, link::HidDevice& d, std::recursive_mutex& m)
            : link(l), device(d), lock(m) {}
        const NotifyLink link;
        link::HidDevice& device;
        std::recursive_mutex& lock;  // held while the interface opens, closes or unpacks
        std::atomic<bool> open{false};
        std::uint64_t opens = 0;  // successful opens, under `lock`
        platform::WorkerThread worker;
    };
    Interface* interface_of(int type);
    const Interface* interface_of(int type) const;
    void run(Interface& in, platform::StopEvent& stop);

    const link::CommandChannel& commands_;
    const Handler handler_;
    const Kinds kinds_;
    Interface wired_;
    Interface receiver_;
};

}  // namespace velqa::model
