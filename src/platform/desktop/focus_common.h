// The pieces the threaded focus backends share: turning what a desktop says about a window into
// the application id that bindings name, and a stop descriptor to wait on beside the source.
#pragma once

#include <string>
#include <string_view>

namespace velqa::platform::desktop {

// Longest application id kept; desktops name applications in a few dozen bytes.
inline constexpr std::size_t MaxAppIdBytes = 255;

// `text` as an application id: control characters dropped, malformed UTF-8 replaced, at most
// MaxAppIdBytes bytes (cut at a character boundary). A window's names come from its program,
// which may write anything there.
std::string clean_app_id(std::string_view text);

// The executable's file name of local process `pid` (from /proc/PID/exe, else /proc/PID/comm,
// which the kernel cuts to 15 bytes); empty when the process is gone or not ours to read.
std::string executable_name(long pid);

// An eventfd that a watcher's thread polls beside its event source, so that stopping ends a
// blocked wait at once.
class StopDescriptor {
  public:
    StopDescriptor();
    ~StopDescriptor();
    StopDescriptor(const StopDescriptor&) = delete;
    StopDescriptor& operator=(const StopDescriptor&) = delete;

    bool valid() const { return fd_ >= 0; }
    void signal();
    void clear();
    // Blocks until `fd` is ready for `events` (true) or the descriptor is signalled, or the wait
    // fails (false).
    bool wait_for(int fd, short events) const;

  private:
    int fd_ = -1;
};

}  // namespace velqa::platform::desktop
