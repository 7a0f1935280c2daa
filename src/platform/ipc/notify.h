// Desktop notifications: short notices the desktop shows outside the program's window. The
// desktop backend speaks org.freedesktop.Notifications on the session bus; without a
// notification service the notices are dropped, with one line in the debug output.
#pragma once

#include <memory>
#include <string>

namespace velqa::platform {

struct DesktopNotice {
    enum class Urgency { Low = 0, Normal = 1, Critical = 2 };

    std::string summary;
    std::string body;
    Urgency urgency = Urgency::Normal;
    // Notices with the same non-empty tag replace each other on the desktop instead of piling up.
    std::string tag;
    // How long the desktop shows it; -1 leaves it to the desktop.
    int timeout_ms = -1;
};

class Notifier {
  public:
    virtual ~Notifier() = default;
    // Hands a notice to the desktop without waiting for it. False when it cannot be sent at all
    // (no bus); an answer that comes back as an error is only logged.
    virtual bool notify(const DesktopNotice& notice) = 0;
};

// The desktop's notification service, with `app_name` and the icon "velqa". `bus_address`
// empty: the session bus; else a private bus at that address (tests). Must be used on the
// thread with the Qt event loop that created it.
std::unique_ptr<Notifier> make_desktop_notifier(const std::string& app_name,
                                                const std::string& bus_address = {});

}  // namespace velqa::platform
