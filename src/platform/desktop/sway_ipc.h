// What Sway's and i3's IPC messages say about the focus: the half of the Sway watcher that reads
// their JSON, apart from the socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velqa::platform::desktop {

// Message types of the i3 IPC protocol that the watcher sends or reads. Events carry the high
// bit.
inline constexpr std::uint32_t SwaySubscribe = 2;
inline constexpr std::uint32_t SwayGetTree = 4;
inline constexpr std::uint32_t SwayWorkspaceEvent = 0x80000000u;
inline constexpr std::uint32_t SwayWindowEvent = 0x80000003u;

class SwayFocusTracker {
  public:
    enum class Outcome { Unchanged, Changed, Refused };
    // Takes one message's payload: the GET_TREE answer (the focused node), the SUBSCRIBE answer,
    // and window and workspace events. Changed when the focused application differs from the
    // last one reported (focused() names it); Refused when the subscription was refused.
    // Malformed payloads change nothing; `error` (when given) says why.
    Outcome handle(std::uint32_t type, std::string_view payload, std::string* error = nullptr);
    // The focused application: an app_id, an X11 class, an executable's name, or empty for
    // none (an empty workspace, a closed window).
    const std::string& focused() const { return focused_; }

  private:
    Outcome report(std::string app);

    std::string focused_;
    bool reported_ = false;
    std::int64_t focused_id_ = -1;  // the container that has the focus; -1 for none
};

}  // namespace velqa::platform::desktop
